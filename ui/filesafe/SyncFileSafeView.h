#pragma once

#include <QFrame>

namespace Ui {
class SyncFileSafeView;
}

// A file safe's icon and name as a cell of the storage location view.
class SyncFileSafeView : public QFrame
{
    Q_OBJECT

public:
    explicit SyncFileSafeView(QWidget* parent = nullptr);
    ~SyncFileSafeView() override;

    void setSpaceName(const QString& name);
    void setSpaceType(const QString& spaceType);
    void setSpaceMissing(bool missing);

private:
    Ui::SyncFileSafeView* ui;
};
