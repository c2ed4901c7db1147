#pragma once

#include "passwords/OverlayWidget.h"

class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;

// Covers the locked password page and asks for the sign-in password: a wrong one shakes the
// input, the right one fades the overlay out, emits unlocked() and deletes it. One lock only.
class LockedOverlay : public OverlayWidget
{
    Q_OBJECT

public:
    explicit LockedOverlay(QWidget *parent = nullptr);

    void fadeIn();
    void showImmediately();

signals:
    void unlocked();

public slots:
    void tryUnlock();
    void fadeOut();
    void fitToParent();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QLabel *m_label;
    QLineEdit *m_input;
    QGraphicsOpacityEffect *m_effect;
};
