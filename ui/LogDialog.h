#pragma once

#include <QDialog>

class GeometryKeeper;
#include <QFile>
#include <QFileSystemWatcher>
#include <QTextStream>

class QAction;

namespace Ui {
class LogDialog;
}

// Shows the program's log file, its last lines and then what is appended, and lets the user
// choose the level and clear the log. One at a time; deleted when closed.
class LogDialog : public QDialog
{
    Q_OBJECT

public:
    enum LogLevel { LOG_LEVEL_DEBUG = 0, LOG_LEVEL_WARN = 1 };
    Q_ENUM(LogLevel)

    // Lines of a file shown at a load; the count label still gives the whole file's.
    static constexpr int MaxShownLines = 5000;

    static LogDialog* instance();
    explicit LogDialog(QWidget* parent = nullptr);
    ~LogDialog() override;

    // Without a path, the log file of the running program.
    int loadFile(const QString& path = QString());
    void clearFile();
    int lineCount() const { return m_lineCount; }

public slots:
    static void writeLn(const QString& s);
    void on_logFileChanged(const QString& path);
    void on_closeButton_clicked();
    void on_clearButton_clicked();
    void on_logLevelComboBox_currentIndexChanged(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    GeometryKeeper* m_geometry = nullptr;
    // The buttons' minimum width is the style's, below what their texts need: the dialog is kept as
    // wide as its row of controls wants, and the location is what shortens.
    void keepControlsWhole();
    bool openForReading();
    // Log lines are shown as they are, never as markup.
    void appendLines(const QStringList& lines);
    void updateLineLabel();

    Ui::LogDialog* ui;
    bool initialized = false;
    QAction* m_closeAction;
    QString m_path;
    QFile m_file;
    int m_lineCount = 0;
    QTextStream m_stream;
    QFileSystemWatcher m_watcher;
    static LogDialog* s_instance;
};
