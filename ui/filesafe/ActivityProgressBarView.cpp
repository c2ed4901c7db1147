#include "ui/filesafe/ActivityProgressBarView.h"
#include "ui_ActivityProgressBarView.h"

#include <limits>

ActivityProgressBarView::ActivityProgressBarView(QWidget* parent) : QFrame(parent), ui(new Ui::ActivityProgressBarView)
{
    ui->setupUi(this);
}

ActivityProgressBarView::~ActivityProgressBarView()
{
    delete ui;
}

QProgressBar* ActivityProgressBarView::progressBar() const
{
    return ui->progressBar;
}

void ActivityProgressBarView::setBytes(qint64 done, qint64 total)
{
    total = qMax<qint64>(total, 0);
    done = qBound<qint64>(0, done, total);
    int shift = 0;
    while ((total >> shift) > std::numeric_limits<int>::max())
        ++shift;
    ui->progressBar->setMaximum(int(total >> shift));
    ui->progressBar->setValue(int(done >> shift));
}
