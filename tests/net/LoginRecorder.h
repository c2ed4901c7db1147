#pragma once

#include "net/ILoginRI.h"
#include "net/Result.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

// Collects what one sign-in reports.
class LoginRecorder : public QObject
{
    Q_OBJECT
public:
    QList<int> progress;
    QList<QPair<QString, bool>> smsRequests;
    QList<EmptyResult> results;

    std::function<void(const EmptyResult &)> callback()
    {
        return [this](const EmptyResult &r) {
            results.append(r);
            emit finished();
        };
    }

signals:
    void finished();

public slots:
    void onProgress(ILoginRI::Step step) { progress.append(int(step)); }
    void onSms(const QString &ref, bool deviceKey) { smsRequests.append({ref, deviceKey}); }
};
