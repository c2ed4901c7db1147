#include "passwords/PasswordStrengthIndicator.h"

#include "passwords/PasswordStrength.h"
#include "ui_PasswordStrengthIndicator.h"

#include <QEvent>

PasswordStrengthIndicator::PasswordStrengthIndicator(QWidget *parent, const QString &password)
    : QFrame(parent)
    , m_colours({"#FF0000", "#EA7000", "#FBD400", "#98DF00", "#09A02C"})
    , m_inactiveColour("#e5e5e5")
    , m_ui(new Ui::PasswordStrengthIndicator)
{
    m_ui->setupUi(this);
    m_bars = {m_ui->step1, m_ui->step2, m_ui->step3, m_ui->step4, m_ui->step5};
    m_labels = labels();
    setPassword(password);
}

PasswordStrengthIndicator::~PasswordStrengthIndicator()
{
    delete m_ui;
}

QStringList PasswordStrengthIndicator::labels()
{
    return {tr("weak"), tr("low"), tr("medium"), tr("good"), tr("very good")};
}

void PasswordStrengthIndicator::setPassword(const QString &password)
{
    showScore(password.isEmpty() ? 0 : PasswordStrength::score(password));
}

void PasswordStrengthIndicator::showScore(int score)
{
    m_score = qBound(0, score, m_labels.size() - 1);
    m_ui->strengthValueLabel->setText(m_labels.at(m_score));
    for (int i = 0; i < m_bars.size(); ++i) {
        const QString colour = i <= m_score ? m_colours.at(m_score) : m_inactiveColour;
        m_bars.at(i)->setStyleSheet(QStringLiteral("background-color: %1").arg(colour));
    }
}

void PasswordStrengthIndicator::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_ui->retranslateUi(this);
        m_labels = labels();
        showScore(m_score);
    }
    QFrame::changeEvent(event);
}
