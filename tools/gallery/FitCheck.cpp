#include "FitCheck.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QLabel>
#include <QScrollArea>
#include <QTabBar>
#include <QTableView>
#include <QTextDocument>
#include <QTreeView>
#include <QtMath>

namespace {

QString describe(const QWidget* widget, const QString& text)
{
    return QStringLiteral("%1#%2 \"%3\"")
            .arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName(), text.simplified());
}

QString sizeText(const QSize& size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// The tab bar's own measure of a tab, which it keeps to itself.
class TabBarProbe : public QTabBar
{
public:
    static QSize hint(const QTabBar* bar, int index) { return (bar->*(&TabBarProbe::tabSizeHint))(index); }
};

bool isRichText(const QLabel* label)
{
    return label->textFormat() == Qt::RichText ||
           (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

// The room the label gives its text, as the label itself lays the text out.
QRect textRoom(const QLabel* label)
{
    QRect room = label->contentsRect();
    const int margin = label->margin();
    room.adjust(margin, margin, -margin, -margin);
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin;
    if (indent > 0) {
        if (label->alignment() & (Qt::AlignLeft | Qt::AlignRight))
            room.setWidth(room.width() - indent);
        if (label->alignment() & (Qt::AlignTop | Qt::AlignBottom))
            room.setHeight(room.height() - indent);
    }
    return room;
}

// What a label's text needs on one line per paragraph.
QSize unwrappedSize(const QLabel* label, const QString& text)
{
    if (isRichText(label)) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(text);
        return QSize(qCeil(document.idealWidth()), qCeil(document.size().height()));
    }
    int flags = Qt::TextExpandTabs;
    if (label->buddy())
        flags |= Qt::TextShowMnemonic;
    return label->fontMetrics().boundingRect(QRect(0, 0, 100000, 100000), flags, text).size();
}

// How wide a label's text is when wrapped to a width: wider only where a word cannot be broken.
int wrappedWidth(const QLabel* label, int width)
{
    if (isRichText(label)) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(label->text());
        document.setTextWidth(width);
        return qCeil(document.idealWidth());
    }
    return label->fontMetrics()
            .boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap | Qt::TextExpandTabs, label->text())
            .width();
}

// shown: the text the label draws.
void checkLabel(QLabel* label, const QString& shown, QList<FitCheck::Finding>& findings)
{
    const QPixmap picture = label->pixmap(Qt::ReturnByValue);
    if (!picture.isNull()) {
        // A picture of a fixed width that is wider has been widened by a rule meant for a text.
        const QMargins frame = label->contentsMargins();
        const int width = qCeil(picture.width() / picture.devicePixelRatio()) + frame.left() + frame.right() +
                          2 * label->margin();
        if (label->sizePolicy().horizontalPolicy() == QSizePolicy::Fixed && label->width() > width)
            findings.append({describe(label, QString()),
                             QStringLiteral("is %1 px wide for a picture of %2").arg(label->width()).arg(width)});
        return;
    }
    if (shown.isEmpty() || label->movie())
        return;
    const QRect room = textRoom(label);
    const QString name = describe(label, shown);
    if (label->wordWrap()) {
        const int height = label->heightForWidth(label->width());
        if (height > label->height())
            findings.append(
                    {name,
                     QStringLiteral("wrapped text needs %1 px of height, has %2").arg(height).arg(label->height())});
        const int wide = wrappedWidth(label, room.width());
        if (wide > room.width())
            findings.append(
                    {name, QStringLiteral("a word needs %1 px, the label gives %2").arg(wide).arg(room.width())});
        return;
    }
    const QSize needed = unwrappedSize(label, shown);
    if (needed.width() > room.width() || needed.height() > room.height())
        findings.append(
                {name, QStringLiteral("text needs %1 px, has %2").arg(sizeText(needed), sizeText(room.size()))});
}

void checkScrolling(QWidget* widget, QList<FitCheck::Finding>& findings)
{
    // A form in a scroll area is meant to scroll down, not sideways.
    if (auto* area = qobject_cast<QScrollArea*>(widget)) {
        const QWidget* content = area->widget();
        const int needed = content ? qMax(content->minimumSizeHint().width(), content->minimumWidth()) : 0;
        if (content && area->widgetResizable() && needed > area->viewport()->width())
            findings.append({describe(area, QString()),
                             QStringLiteral("content needs %1 px, the area shows %2: it scrolls sideways")
                                     .arg(needed)
                                     .arg(area->viewport()->width())});
        return;
    }
    QHeaderView* header = nullptr;
    if (auto* table = qobject_cast<QTableView*>(widget))
        header = table->horizontalHeader();
    else if (auto* tree = qobject_cast<QTreeView*>(widget))
        header = tree->header();
    if (!header || !header->model())
        return;
    auto* view = static_cast<QAbstractScrollArea*>(widget);
    bool stretches = header->stretchLastSection();
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section))
            continue;
        stretches = stretches || header->sectionResizeMode(section) == QHeaderView::Stretch;
        const QString text = header->model()->headerData(section, Qt::Horizontal).toString();
        int needed = header->sectionSizeHint(section);
        // The header asks room for the sort mark in every section; only the sorted one draws it.
        if (header->isSortIndicatorShown() && header->sortIndicatorSection() != section)
            needed -= header->height() + header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        // A header that elides draws a narrower section's text with an ellipsis.
        if (header->isVisible() && header->sectionSize(section) < needed && header->textElideMode() == Qt::ElideNone)
            findings.append({describe(header, text), QStringLiteral("section is %1 px, its contents need %2")
                                                             .arg(header->sectionSize(section))
                                                             .arg(needed)});
    }
    // A table that stretches a column to its width is meant to show every column without scrolling.
    if (stretches && header->length() > view->viewport()->width())
        findings.append({describe(widget, QString()), QStringLiteral("columns need %1 px, the table shows %2: the "
                                                                     "last ones hide behind the scroll bar")
                                                              .arg(header->length())
                                                              .arg(view->viewport()->width())});
}

// The whole text, or the text with one part of it (its end, start or middle) replaced by an ellipsis.
bool isCutOf(const QString& shown, const QString& whole)
{
    if (shown == whole)
        return true;
    const int mark = shown.indexOf(FitCheck::kEllipsis);
    if (mark < 0 || shown.indexOf(FitCheck::kEllipsis, mark + 1) >= 0)
        return false;
    const QString head = shown.left(mark);
    const QString tail = shown.mid(mark + 1);
    return head.size() + tail.size() < whole.size() && whole.startsWith(head) && whole.endsWith(tail);
}

// Some part of the widget lies within each of its parents: a row scrolled out of its table does not.
bool inSight(const QWidget* widget, const QWidget* window)
{
    QRect area = widget->rect();
    for (const QWidget* up = widget; up != window && up->parentWidget(); up = up->parentWidget()) {
        area = area.translated(up->pos()).intersected(up->parentWidget()->rect());
        if (area.isEmpty())
            return false;
    }
    return true;
}

// Inside a scroll area's viewport a widget may lie outside the visible part: that is scrolling.
bool scrolls(const QWidget* widget, const QWidget* window)
{
    for (const QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget()) {
        if (auto* area = qobject_cast<const QAbstractScrollArea*>(up->parentWidget()))
            if (area->viewport() == up)
                return true;
    }
    return false;
}

} // namespace

QList<FitCheck::Finding> FitCheck::check(QWidget* window) const
{
    QList<Finding> findings;
    if (window->width() > kScreen.width() || window->height() > kScreen.height())
        findings.append(
                {describe(window, window->windowTitle()), QStringLiteral("window is %1, larger than a %2 desktop")
                                                                  .arg(sizeText(window->size()), sizeText(kScreen))});

    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(window) || widget->isWindow() || !inSight(widget, window))
            continue;
        if (!scrolls(widget, window)) {
            const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
            if (!window->rect().contains(inWindow))
                findings.append({describe(widget, QString()),
                                 QStringLiteral("lies at %1,%2 %3, outside its window of %4")
                                         .arg(inWindow.x())
                                         .arg(inWindow.y())
                                         .arg(sizeText(inWindow.size()), sizeText(window->size()))});
        }

        if (auto* label = qobject_cast<QLabel*>(widget)) {
            const QVariant elided = label->property(kShownText);
            const QString shown = elided.isValid() ? elided.toString() : label->text();
            if (!isCutOf(shown, label->text()))
                findings.append({describe(label, shown),
                                 QStringLiteral("cut from \"%1\" without an ellipsis").arg(label->text())});
            checkLabel(label, shown, findings);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const QSize hint = button->sizeHint();
            if (button->width() < hint.width() || button->height() < hint.height())
                findings.append({describe(button, button->text()),
                                 QStringLiteral("is %1, needs %2").arg(sizeText(button->size()), sizeText(hint))});
            else if (button->width() < kTarget || button->height() < kTarget)
                findings.append(
                        {describe(button, button->text()), QStringLiteral("is %1, too small to hit (%2 px at least)")
                                                                   .arg(sizeText(button->size()))
                                                                   .arg(kTarget)});
        } else if (auto* bar = qobject_cast<QTabBar*>(widget)) {
            for (int i = 0; i < bar->count(); ++i) {
                const QSize hint = TabBarProbe::hint(bar, i);
                const QRect tab = bar->tabRect(i);
                if (tab.width() < hint.width() || tab.height() < hint.height() || !bar->rect().contains(tab))
                    findings.append({describe(bar, bar->tabText(i)), QStringLiteral("tab is %1 at %2,%3, needs %4")
                                                                             .arg(sizeText(tab.size()))
                                                                             .arg(tab.x())
                                                                             .arg(tab.y())
                                                                             .arg(sizeText(hint))});
            }
        } else {
            checkScrolling(widget, findings);
        }
    }
    return findings;
}

QList<FitCheck::Finding> FitCheck::checkSize(const QWidget* window, const QSize& asked)
{
    if (window->size() == asked)
        return {};
    return {{describe(window, window->windowTitle()), QStringLiteral("window is %1, was given %2: its views need more")
                                                              .arg(sizeText(window->size()), sizeText(asked))}};
}
