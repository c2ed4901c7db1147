#pragma once

#include <QPushButton>

// The dialogs' push button. The two properties carry no behaviour: style sheets select on them.
class PushButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(bool defaultButton MEMBER m_defaultButton)
    Q_PROPERTY(bool cancelButton MEMBER m_cancelButton)

public:
    explicit PushButton(QWidget* parent = nullptr);
    PushButton(const QString& text, QWidget* parent = nullptr);
    PushButton(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

private:
    bool m_defaultButton = false;
    bool m_cancelButton = false;
};
