#pragma once

#include <QDialog>

namespace Ui {
class SessionTerminatedDialog;
}

// Tells that the session with the service has ended; the opener sets title and text.
class SessionTerminatedDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SessionTerminatedDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~SessionTerminatedDialog() override;

    void setText(const QString& text);

private slots:
    void on_closeButton_clicked();

private:
    Ui::SessionTerminatedDialog* ui;
};
