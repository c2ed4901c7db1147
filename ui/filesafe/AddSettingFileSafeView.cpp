#include "ui/filesafe/AddSettingFileSafeView.h"
#include "ui_AddSettingFileSafeView.h"

#include "ui/SpaceIcons.h"

AddSettingFileSafeView::AddSettingFileSafeView(QWidget* parent) : QFrame(parent), ui(new Ui::AddSettingFileSafeView)
{
    ui->setupUi(this);
    ui->fileSafeName->setTextFormat(Qt::PlainText);
}

AddSettingFileSafeView::~AddSettingFileSafeView()
{
    delete ui;
}

void AddSettingFileSafeView::setFileSafeName(const QString& name)
{
    ui->fileSafeName->setText(name);
}

void AddSettingFileSafeView::setIcon(const QString& safeType)
{
    ui->iconLabel->setPixmap(spacePixmap(safeType, false, 1));
}
