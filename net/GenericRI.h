#pragma once

#include <QObject>

class ISession;

// Base of the REST interfaces: holds the session their requests go through.
class GenericRI : public QObject
{
    Q_OBJECT
public:
    GenericRI(ISession *session, QObject *parent = nullptr);
    ~GenericRI() override;

protected:
    // Not owned: the session is process-wide and outlives every interface.
    ISession *session;
};
