#include "ui/filesafe/ActivityStatusView.h"
#include "ui_ActivityStatusView.h"

#include "sync/SyncAction.h"

#include <QCursor>
#include <QDesktopServices>
#include <QToolTip>
#include <QUrl>

ActivityStatusView::ActivityStatusView(QWidget* parent) : QFrame(parent), ui(new Ui::ActivityStatusView)
{
    ui->setupUi(this);
}

ActivityStatusView::~ActivityStatusView()
{
    delete ui;
}

void ActivityStatusView::setStatus(int status, const QString& message)
{
    m_status = status;
    ui->statusLabel->setText(SyncAction::statusName(status));
    // The message comes from the engine or the service and the tool tip is rich text.
    setToolTip(SyncAction::statusDetails(status, message.toHtmlEscaped()));
    const QString url = SyncAction::statusHelpUrl(status);
    if (!url.isEmpty())
        ui->infoButton->setToolTip(tr("See: %1").arg(url));
    ui->infoButton->setVisible(status > 1);
    if (status == -1 || (status >= 2 && status <= 99))
        ui->statusLabel->setStyleSheet(QStringLiteral("QLabel { font: bold 13px; color : #a84300; }"));
    else if (status > 100)
        ui->statusLabel->setStyleSheet(QStringLiteral("QLabel { font: bold 13px; color : #900000; }"));
}

QString ActivityStatusView::statusText() const
{
    return ui->statusLabel->text();
}

void ActivityStatusView::setStatusText(const QString& text)
{
    ui->statusLabel->setText(text);
}

void ActivityStatusView::on_infoButton_clicked()
{
    const QString url = SyncAction::statusHelpUrl(m_status);
    if (url.isEmpty())
        QToolTip::showText(QCursor::pos(), toolTip(), this);
    else
        QDesktopServices::openUrl(QUrl(url));
}
