#pragma once

#include <QPixmap>
#include <QWidget>

namespace Ui {
class MainTab;
}

// One clickable header of the main view's tab column: icon, text and a selection arrow. The style
// sheet supplies the icons through the pixmap properties and selects on `selected`.
class MainTab : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool selected READ selected)
    Q_PROPERTY(QPixmap selectedStaticIcon READ selectedStaticIcon WRITE setSelectedStaticIcon)
    Q_PROPERTY(QPixmap deselectedStaticIcon READ deselectedStaticIcon WRITE setDeselectedStaticIcon)
    Q_PROPERTY(QPixmap selectedAttentionIcon READ selectedAttentionIcon WRITE setSelectedAttentionIcon)
    Q_PROPERTY(QPixmap deselectedAttentionIcon READ deselectedAttentionIcon WRITE setDeselectedAttentionIcon)
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(int tabId MEMBER m_tabId)

public:
    explicit MainTab(QWidget* parent = nullptr);
    ~MainTab() override;

    // Written by the form and the style sheet; they take effect with the next selection change.
    QPixmap selectedStaticIcon() const { return m_selectedStaticIcon; }
    void setSelectedStaticIcon(const QPixmap& icon) { m_selectedStaticIcon = icon; }
    QPixmap deselectedStaticIcon() const { return m_deselectedStaticIcon; }
    void setDeselectedStaticIcon(const QPixmap& icon) { m_deselectedStaticIcon = icon; }
    QPixmap selectedAttentionIcon() const { return m_selectedAttentionIcon; }
    void setSelectedAttentionIcon(const QPixmap& icon) { m_selectedAttentionIcon = icon; }
    QPixmap deselectedAttentionIcon() const { return m_deselectedAttentionIcon; }
    void setDeselectedAttentionIcon(const QPixmap& icon) { m_deselectedAttentionIcon = icon; }

    int tabId() const { return m_tabId; }
    void setTabId(int id) { m_tabId = id; }
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    QString text() const;
    void setText(const QString& text);
    void setAttentionToolTip(const QString& toolTip);
    int attentionCount() const { return m_attentionCount; }
    // The pixmap shown now; null when the style gave none.
    QPixmap currentIcon() const { return m_currentIcon; }

signals:
    void tabClicked(int tabId);

public slots:
    void on_attentionChanged(int attentionCount);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateIcon();

    Ui::MainTab* ui;
    bool m_selected = false;
    QPixmap m_selectedStaticIcon;
    QPixmap m_deselectedStaticIcon;
    QPixmap m_selectedAttentionIcon;
    QPixmap m_deselectedAttentionIcon;
    int m_tabId = 0;
    int m_attentionCount = 0;
    QString m_attentionToolTip;
    QPixmap m_currentIcon;
};
