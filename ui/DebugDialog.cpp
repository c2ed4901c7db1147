#include "ui/DebugDialog.h"

#include "ui/GeometryKeeper.h"
#include "ui_DebugDialog.h"

#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "core/StringUtil.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/ServerList.h"
#include "ui/FileManager.h"
#include "ui/LogDialog.h"

#include <QInputDialog>
#include <QMetaEnum>
#include <QScrollBar>
#include <QSettings>
#include <QStringListModel>

#include <csignal>

namespace {

bool s_logTraffic = false;

} // namespace

DebugDialog::DebugDialog(AppInfo* appInfo, ServerList* serverList, ISession* session, QWidget* parent)
    : QDialog(parent), ui(new Ui::DebugDialog), m_serverList(serverList), m_appInfo(appInfo), m_session(session)
{
    ui->setupUi(this);
    m_geometry = new GeometryKeeper(this, QStringLiteral("ui/dbg_dialog_geometry"));
    adjustSize();
    if (height() > 300)
        resize(width(), 300);
    setStyleSheet(QStringLiteral(
        "DebugDialog QGroupBox {  background-color: transparent;  border: 1px solid lightgrey;  border-radius: 5px;  "
        "margin-top: 1ex; /* leave space at the top for the title */}DebugDialog QGroupBox::title {  "
        "subcontrol-origin: margin;  subcontrol-position: top left;  padding: 0 3px;  background-color: lightgrey;}"));

    const QMetaEnum modes = QMetaEnum::fromType<R7Application::AppMode>();
    for (int i = 0; i < modes.keyCount(); ++i)
        ui->appModeComboBox->addItem(QString::fromLatin1(modes.key(i)), modes.value(i));
    ui->appModeComboBox->setCurrentIndex(0);

    const QMetaEnum levels = QMetaEnum::fromType<LogDialog::LogLevel>();
    for (int i = 0; i < levels.keyCount(); ++i)
        ui->logLevelComboBox->addItem(QString::fromLatin1(levels.key(i)), levels.value(i));
    ui->logLevelComboBox->setCurrentIndex(
        QSettings().value(QStringLiteral("app/log_level")).toString() == QLatin1String("INFO") ? 0 : 1);

    if (m_serverList) {
        QStringListModel* model = m_serverList->createServerNameModel();
        model->setParent(ui->selectServerComboBox);
        ui->selectServerComboBox->setModel(model);
        ui->selectServerComboBox->adjustSize();
        const ServerInfo& current = m_serverList->currentServer();
        const int index = ui->selectServerComboBox->findText(current.name(), Qt::MatchFixedString);
        if (index >= 0) {
            ui->selectServerComboBox->setCurrentIndex(index);
        } else {
            qDebug("DebugDialog::DebugDialog: saved server not in the list: '%s' '%s'",
                   qUtf8Printable(StringUtil::escapeNonPrintable(current.prefix())),
                   qUtf8Printable(StringUtil::escapeNonPrintable(current.name())));
            ui->selectServerComboBox->setCurrentIndex(0);
        }
    }

    setFocusPolicy(Qt::StrongFocus);
    setFocus();
    ui->closeButton->setDefault(true);
    initialized = true;
}

DebugDialog::~DebugDialog()
{
    m_geometry->store();
    delete ui;
}

bool DebugDialog::logTraffic()
{
    return s_logTraffic;
}

void DebugDialog::showEvent(QShowEvent* event)
{
    // A scroll area does not pass its content's width on: at a larger font the content scrolled
    // sideways behind the vertical scroll bar of the 300 px high dialog.
    const int content =
            ui->scrollAreaContents->minimumSizeHint().width() + ui->scrollArea->verticalScrollBar()->sizeHint().width();
    ui->scrollArea->setMinimumWidth(qMax(400, content));
    QDialog::showEvent(event);
}

void DebugDialog::makeVisible()
{
    if (isHidden())
        show();
    if (!isActiveWindow())
        raise();
}

void DebugDialog::on_appModeComboBox_currentIndexChanged(int index)
{
    bool ok = false;
    const int mode = ui->appModeComboBox->itemData(index).toInt(&ok);
    R7Application* app = R7Application::instance();
    if (ok && app && mode != app->appMode())
        app->setAppMode(R7Application::AppMode(mode));
}

void DebugDialog::on_logLevelComboBox_currentIndexChanged(int index)
{
    if (!initialized)
        return;
    const int level = index == 0 ? 0 : 1;
    if (R7Application* app = R7Application::instance())
        app->setLogLevel(level);
    QSettings().setValue(QStringLiteral("app/log_level"), level == 0 ? QStringLiteral("INFO") : QStringLiteral("WARN"));
}

void DebugDialog::on_showLogLocationButton_clicked()
{
    if (m_appInfo)
        FileManager::show(this, m_appInfo->logDirectory + QLatin1Char('/') + m_appInfo->logFileName);
}

void DebugDialog::on_showLogDialogButton_clicked()
{
    if (R7Application* app = R7Application::instance())
        app->showLog();
}

void DebugDialog::on_logNetCheckBox_toggled(bool checked)
{
    s_logTraffic = checked;
}

void DebugDialog::on_selectServerComboBox_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    if (!initialized || !m_serverList)
        return;
    const QString text = ui->selectServerComboBox->currentText();
    if (text == QLatin1String("Custom")) {
        bool ok = false;
        const QString url = QInputDialog::getText(nullptr, tr("Set Custom Server URL"), tr("Connect to:"),
                                                  QLineEdit::Normal, m_serverList->primaryServer().url(), &ok);
        // A blank address would make every later sign-in fail; keep the server there is.
        if (!ok || url.trimmed().isEmpty()) {
            qDebug("DebugDialog::on_selectServerComboBox_currentIndexChanged: no custom server set");
            return;
        }
        m_serverList->setCustomServerUrl(url.trimmed());
        return;
    }
    if (ServerInfo* server = m_serverList->findByName(text))
        m_serverList->setSelectedServer(*server);
    else
        qDebug("DebugDialog::on_selectServerComboBox_currentIndexChanged: server not found: '%s'",
               qUtf8Printable(StringUtil::escapeNonPrintable(text)));
}

void DebugDialog::on_ignoreSslErrorCheckBox_toggled(bool checked)
{
    qDebug("DebugDialog::on_ignoreSslErrorCheckBox_toggled: ignore SSL error: %s", checked ? "yes" : "no");
    if (R7Application* app = R7Application::instance())
        app->setIgnoreSslErrors(checked);
}

void DebugDialog::on_connectionTestButton_clicked()
{
    auto* session = dynamic_cast<R7Session*>(m_session);
    if (!session)
        return;
    qDebug("DebugDialog::on_connectionTestButton_clicked: Check server connection: '%s'",
           qUtf8Printable(StringUtil::escapeNonPrintable(session->serverUrl())));
    session->checkServer();
}

void DebugDialog::on_crashButton_clicked()
{
    qWarning("DebugDialog::on_crashButton_clicked: Intentional SEGV coming ...");
    // The crash handler catches the signal, writes the dump and ends the process.
    std::raise(SIGSEGV);
}

void DebugDialog::on_closeButton_clicked()
{
    close();
}
