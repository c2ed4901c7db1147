#pragma once

#include <QFrame>

class QProgressBar;

namespace Ui {
class ActivityProgressBarView;
}

// The bar in the status cell of an activity row while its file is transferred.
class ActivityProgressBarView : public QFrame
{
    Q_OBJECT

public:
    explicit ActivityProgressBarView(QWidget* parent = nullptr);
    ~ActivityProgressBarView() override;

    QProgressBar* progressBar() const;
    // Byte counts beyond the int range are scaled down together, so a file of several GiB
    // still gives a positive range and the right share.
    void setBytes(qint64 done, qint64 total);

private:
    Ui::ActivityProgressBarView* ui;
};
