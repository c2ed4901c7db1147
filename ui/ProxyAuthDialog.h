#pragma once

#include <QDialog>

namespace Ui {
class ProxyAuthDialog;
}

// Asks for the credentials a proxy demands; runs modally, stores nothing.
class ProxyAuthDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProxyAuthDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ProxyAuthDialog() override;

    void setText(const QString& text);
    QString username() const;
    QString password() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::ProxyAuthDialog* ui;
};
