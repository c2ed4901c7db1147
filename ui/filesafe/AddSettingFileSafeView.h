#pragma once

#include <QFrame>

namespace Ui {
class AddSettingFileSafeView;
}

// One file safe as a row of the add dialog's safe table: its icon and name.
class AddSettingFileSafeView : public QFrame
{
    Q_OBJECT

public:
    explicit AddSettingFileSafeView(QWidget* parent = nullptr);
    ~AddSettingFileSafeView() override;

    void setFileSafeName(const QString& name);
    void setIcon(const QString& safeType);

private:
    Ui::AddSettingFileSafeView* ui;
};
