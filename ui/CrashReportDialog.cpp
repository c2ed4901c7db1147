#include "ui/CrashReportDialog.h"
#include "ui_CrashReportDialog.h"

#include "ui/WindowUtil.h"

#include "ui/FileManager.h"

#include <QCoreApplication>

CrashReportDialog::CrashReportDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), ui(new Ui::CrashReportDialog)
{
    ui->setupUi(this);
    const QString address = QStringLiteral("support@") + QCoreApplication::organizationDomain();
    ui->infoLabel->setText(
        tr("Your last ${APP_NAME} session quit unexpectedly. Do you want to send us the crash report to help us "
           "improving ${APP_NAME}? The crash report does not contain any personal data from your ${APP_NAME}.\n\n"
           "If you click \"YES\", you will be forwarded to the crash report. Please send us the file ending in "
           "\".dmp\" by e-mail to ")
            .toHtmlEscaped()
            .replace(QLatin1Char('\n'), QStringLiteral("<br/>"))
        + QStringLiteral("<a href=\"mailto:%1?subject=Crash%20Dump%20Report\">%1</a>.").arg(address.toHtmlEscaped()));
}

CrashReportDialog::~CrashReportDialog()
{
    delete ui;
}

void CrashReportDialog::setCrashDumpPath(const QString& path)
{
    m_crashDumpPath = path;
}

void CrashReportDialog::on_closeButton_clicked()
{
    FileManager::show(this, m_crashDumpPath);
}

void CrashReportDialog::on_showButton_clicked()
{
    close();
}

void CrashReportDialog::showEvent(QShowEvent* event)
{
    WindowUtil(this).growToWrappedText();
    QDialog::showEvent(event);
}
