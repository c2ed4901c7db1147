#pragma once

#include <QDialog>

namespace Ui {
class CrashReportDialog;
}

// Offered after a crash: shows the folder with the dumps so that the user can send them.
class CrashReportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CrashReportDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~CrashReportDialog() override;

    void setCrashDumpPath(const QString& path);
    QString crashDumpPath() const { return m_crashDumpPath; }

private slots:
    // "Yes": reveal the dumps; the dialog stays.
    void on_closeButton_clicked();
    // "Close".
    void on_showButton_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::CrashReportDialog* ui;
    QString m_crashDumpPath;
};
