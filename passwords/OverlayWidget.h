#pragma once

#include <QWidget>

// A child widget that keeps its parent's size and stays above its siblings, including those
// added later.
class OverlayWidget : public QWidget
{
    Q_OBJECT

public:
    explicit OverlayWidget(QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void follow(QObject *parent);
};
