#pragma once

#include <QFrame>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ui {
class PasswordStrengthIndicator;
}

// The strength of a password as a label and five bars lit in the colour of its score.
class PasswordStrengthIndicator : public QFrame
{
    Q_OBJECT

public:
    explicit PasswordStrengthIndicator(QWidget *parent = nullptr, const QString &password = QString());
    ~PasswordStrengthIndicator() override;

    void setPassword(const QString &password);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showScore(int score);
    static QStringList labels();

    QStringList m_labels;
    QStringList m_colours;
    QString m_inactiveColour;
    QList<QWidget *> m_bars;
    Ui::PasswordStrengthIndicator *m_ui;
    int m_score = 0;
};
