#pragma once

#include "passwords/OverlayWidget.h"

#include <functional>

class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;

// Covers the locked password page and asks for the sign-in password: a wrong one shakes the
// input, the right one fades the overlay out, emits unlocked() and deletes it. One lock only.
class LockedOverlay : public OverlayWidget
{
    Q_OBJECT

public:
    // Answers whether a text is the password of the current sign-in.
    using PasswordCheck = std::function<bool(const QString &)>;

    explicit LockedOverlay(QWidget *parent = nullptr);

    void fadeIn();
    void showImmediately();

    // Where unlock attempts are verified; the application object sets it at start-up.
    static void setPasswordCheck(PasswordCheck check);

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
