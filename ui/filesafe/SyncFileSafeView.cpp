#include "ui/filesafe/SyncFileSafeView.h"
#include "ui_SyncFileSafeView.h"

#include "ui/SpaceIcons.h"

SyncFileSafeView::SyncFileSafeView(QWidget* parent) : QFrame(parent), ui(new Ui::SyncFileSafeView)
{
    ui->setupUi(this);
    ui->spaceName->setTextFormat(Qt::PlainText);
}

SyncFileSafeView::~SyncFileSafeView()
{
    delete ui;
}

void SyncFileSafeView::setSpaceName(const QString& name)
{
    ui->spaceName->setText(name);
}

void SyncFileSafeView::setSpaceType(const QString& spaceType)
{
    ui->spaceIcon->setPixmap(spacePixmap(spaceType, false, 0));
}

void SyncFileSafeView::setSpaceMissing(bool missing)
{
    if (!missing)
        return;
    ui->spaceName->setStyleSheet(QStringLiteral("QLabel { color: #900000 }"));
    ui->spaceIcon->setPixmap(attentionTabIcon(0));
    setToolTip(tr("Space does not exist anymore."));
}
