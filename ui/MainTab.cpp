#include "ui/MainTab.h"
#include "ui_MainTab.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

MainTab::MainTab(QWidget* parent) : QWidget(parent), ui(new Ui::MainTab)
{
    ui->setupUi(this);
}

MainTab::~MainTab()
{
    delete ui;
}

QString MainTab::text() const
{
    return ui->tabTextLabel->text();
}

void MainTab::setText(const QString& text)
{
    ui->tabTextLabel->setText(text);
}

void MainTab::setAttentionToolTip(const QString& toolTip)
{
    m_attentionToolTip = toolTip;
}

void MainTab::setSelected(bool selected)
{
    ui->tabLeftIconLabel->setVisible(selected);
    m_selected = selected;
    style()->unpolish(this);
    style()->unpolish(ui->tabTextLabel);
    style()->polish(ui->tabTextLabel);
    style()->polish(this);
    updateIcon();
}

void MainTab::on_attentionChanged(int attentionCount)
{
    m_attentionCount = attentionCount;
    updateIcon();
}

void MainTab::updateIcon()
{
    setToolTip(QString());
    const bool attention = m_attentionCount != 0;
    if (m_selected)
        m_currentIcon = attention ? m_selectedAttentionIcon : m_selectedStaticIcon;
    else
        m_currentIcon = attention ? m_deselectedAttentionIcon : m_deselectedStaticIcon;
    if (attention)
        setToolTip(m_attentionToolTip);
    ui->tabRightIconLabel->clear();
    ui->tabRightIconLabel->setPixmap(m_currentIcon);
}

void MainTab::mousePressEvent(QMouseEvent* event)
{
    Q_UNUSED(event)
    if (!m_selected)
        emit tabClicked(m_tabId);
}

void MainTab::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
