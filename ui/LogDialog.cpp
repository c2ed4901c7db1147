#include "ui/LogDialog.h"

#include "ui/GeometryKeeper.h"
#include "ui_LogDialog.h"

#include "core/AppInfo.h"
#include "core/FileUtil.h"
#include "core/R7Application.h"

#include <QAction>
#include <QDir>
#include <QLayout>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QTextCursor>

LogDialog* LogDialog::s_instance = nullptr;

LogDialog* LogDialog::instance()
{
    if (!s_instance)
        s_instance = new LogDialog;
    return s_instance;
}

LogDialog::LogDialog(QWidget* parent) : QDialog(parent), ui(new Ui::LogDialog)
{
    s_instance = this;
    ui->setupUi(this);
    m_geometry = new GeometryKeeper(this, QStringLiteral("ui/log_dialog_geometry"));
    ui->logText->setReadOnly(true);
    // A long path shortens in its middle rather than push the Close button off the screen.
    ui->locationValue->setElideMode(Qt::ElideMiddle);
    setAttribute(Qt::WA_DeleteOnClose);

    m_closeAction = new QAction(tr("Close"), this);
    m_closeAction->setShortcut(QKeySequence::Close);
    connect(m_closeAction, &QAction::triggered, this, &QDialog::close);
    addAction(m_closeAction);

    ui->logLevelComboBox->addItem(tr("Detailed"));
    ui->logLevelComboBox->addItem(tr("Warnings and Errors"));
    const QString level = QSettings().value(QStringLiteral("app/log_level")).toString();
    ui->logLevelComboBox->setCurrentIndex(level == QLatin1String("INFO") ? 0 : 1);
    initialized = true;
}

LogDialog::~LogDialog()
{
    m_geometry->store();
    if (s_instance == this)
        s_instance = nullptr;
    delete ui;
}

void LogDialog::showEvent(QShowEvent* event)
{
    keepControlsWhole();
    QDialog::showEvent(event);
}

void LogDialog::keepControlsWhole()
{
    // The location keeps room for its ellipsis at least; beyond that the layout leaves it no width.
    ui->locationValue->setMinimumWidth(ui->locationValue->minimumSizeHint().width());
    setMinimumWidth(qMax(minimumWidth(), layout()->totalSizeHint().width() + ui->locationValue->minimumWidth()));
}

bool LogDialog::openForReading()
{
    if (m_file.open(QIODevice::ReadOnly | QIODevice::Text))
        return true;
    QMessageBox::information(nullptr, tr("Info"), QStringLiteral("Failed to read log file:\n%1").arg(m_path),
                             QMessageBox::Ok);
    return false;
}

void LogDialog::appendLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    QTextCursor cursor(ui->logText->document());
    cursor.movePosition(QTextCursor::End);
    const bool empty = ui->logText->document()->isEmpty();
    cursor.insertText((empty ? QString() : QStringLiteral("\n")) + lines.join(QLatin1Char('\n')));
    ui->logText->verticalScrollBar()->setValue(ui->logText->verticalScrollBar()->maximum());
}

void LogDialog::updateLineLabel()
{
    ui->linesValue->setText(QStringLiteral("%1 lines").arg(m_lineCount));
    if (isVisible())
        keepControlsWhole();
}

int LogDialog::loadFile(const QString& requestedPath)
{
    QString path = requestedPath;
    if (path.isEmpty() && AppInfo::current())
        path = AppInfo::current()->logPath;
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.exists())
        return 0;
    m_path = path;
    ui->locationValue->setText(QDir::toNativeSeparators(path));
    ui->locationValue->setTextInteractionFlags(Qt::TextBrowserInteraction);
    if (!openForReading())
        return 0;

    m_stream.setDevice(&m_file);
    int total = 0;
    while (!m_stream.atEnd()) {
        m_stream.readLine();
        ++total;
    }
    m_lineCount = total;
    m_stream.setDevice(nullptr);
    m_file.close();
    if (!openForReading())
        return 0;
    m_stream.setDevice(&m_file);

    QStringList shown;
    int k = 0;
    while (!m_stream.atEnd()) {
        const QString line = m_stream.readLine();
        if (++k > m_lineCount - MaxShownLines)
            shown << line;
    }
    ui->logText->clear();
    appendLines(shown);
    updateLineLabel();

    if (!m_watcher.files().contains(path) && !m_watcher.addPath(path))
        qDebug("LogDialog::loadFile: Failed to add log file to filesystem watcher");
    if (!connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &LogDialog::on_logFileChanged,
                 Qt::UniqueConnection))
        qDebug("LogDialog::loadFile: Failed connect to filesystem watcher signal");
    return int(shown.size());
}

void LogDialog::on_logFileChanged(const QString& path)
{
    Q_UNUSED(path)
    if (!m_file.isOpen())
        return;
    QStringList lines;
    while (!m_stream.atEnd())
        lines << m_stream.readLine();
    m_lineCount += int(lines.size());
    appendLines(lines);
    updateLineLabel();
}

void LogDialog::clearFile()
{
    m_stream.setDevice(nullptr);
    m_file.close();
    const bool ok = m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    m_file.close();
    if (ok) {
        if (!m_path.isEmpty())
            FileUtil::deleteRotatedFiles(m_path);
    } else {
        qWarning("LogDialog::clearFile: Failed to clear log file '%s'", qUtf8Printable(m_path));
    }
    ui->logText->clear();
    if (!m_path.isEmpty())
        m_watcher.removePath(m_path);
    if (ok)
        loadFile(m_path);
}

void LogDialog::writeLn(const QString& s)
{
    if (s_instance)
        s_instance->appendLines({s});
}

void LogDialog::on_closeButton_clicked()
{
    close();
}

void LogDialog::on_clearButton_clicked()
{
    clearFile();
}

void LogDialog::on_logLevelComboBox_currentIndexChanged(int index)
{
    if (!initialized)
        return;
    const int level = index == 0 ? 0 : 1;
    if (R7Application* app = R7Application::instance())
        app->setLogLevel(level);
    QSettings().setValue(QStringLiteral("app/log_level"), level == 0 ? QStringLiteral("INFO") : QStringLiteral("WARN"));
}
