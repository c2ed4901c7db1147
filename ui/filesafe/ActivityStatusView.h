#pragma once

#include <QFrame>

namespace Ui {
class ActivityStatusView;
}

// The status cell of an executed action that is not plainly "Ok": its short name in colour, the
// long explanation as tool tip and a button to the help page where there is one.
class ActivityStatusView : public QFrame
{
    Q_OBJECT

public:
    explicit ActivityStatusView(QWidget* parent = nullptr);
    ~ActivityStatusView() override;

    void setStatus(int status, const QString& message);
    QString statusText() const;
    void setStatusText(const QString& text);

private slots:
    void on_infoButton_clicked();

private:
    Ui::ActivityStatusView* ui;
    int m_status = 0;
};
