#include "StateCheck.h"

#include "core/ColourContrast.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVector>

#include <algorithm>
#include <functional>

namespace {

QRgb opaque(QRgb pixel)
{
    return pixel | 0xff000000u;
}

QPixmap transparentLike(const QPixmap& pixmap)
{
    QPixmap blank(pixmap.size());
    blank.setDevicePixelRatio(pixmap.devicePixelRatio());
    blank.fill(Qt::transparent);
    return blank;
}

bool iconSized(const QSize& size)
{
    return size.width() <= StateCheck::kIconSize && size.height() <= StateCheck::kIconSize;
}

// Tells alike widgets apart in a finding: the name of the one around it.
QString placeOf(const QWidget* widget)
{
    const QWidget* parent = widget->parentWidget();
    return parent && !parent->objectName().isEmpty() ? QStringLiteral("in ") + parent->objectName() : QString();
}

} // namespace

double StateCheck::markContrast(const QImage& with, const QImage& without, const QRect& region)
{
    const QRect area = region.intersected(with.rect()).intersected(without.rect());
    QVector<double> drawn;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb mark = opaque(with.pixel(x, y));
            const QRgb under = opaque(without.pixel(x, y));
            if (mark != under)
                drawn.append(ColourContrast::ratio(QColor(mark), QColor(under)));
        }
    }
    if (drawn.isEmpty())
        return 1.0;
    // The soft edges of a smoothly drawn sign are lighter than its body; its body is what a person
    // reads, and the body of even a thin sign covers a quarter of what it draws.
    const auto quarter = drawn.begin() + drawn.size() / 4;
    std::nth_element(drawn.begin(), quarter, drawn.end(), std::greater<double>());
    return *quarter;
}

QList<StateCheck::Finding> StateCheck::icons(QWidget* window, const QImage& shot)
{
    // Each icon is swapped for a transparent one of its size, so that nothing moves; one picture
    // without them all shows what lies behind each.
    struct Icon
    {
        QWidget* widget;
        QRect region;
        std::function<void(bool)> show;
    };
    QList<Icon> found;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
        // The tab column's selection arrow is the page's colour reaching into the tab, not a sign; a
        // message box's icon is the desktop theme's.
        if (pixmap.isNull() || label->movie() || !iconSized(pixmap.size() / pixmap.devicePixelRatio()) ||
            !label->isEnabled() || !ContrastCheck::inSight(window, label) ||
            label->objectName() == QLatin1String("tabLeftIconLabel") ||
            label->objectName() == QLatin1String("qt_msgboxex_icon_label"))
            continue;
        found.append({label, ContrastCheck::regionIn(window, label, label->rect()),
                      [label, pixmap](bool on) { label->setPixmap(on ? pixmap : transparentLike(pixmap)); }});
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const QIcon icon = button->icon();
        if (icon.isNull() || !button->text().isEmpty() || !button->isEnabled() ||
            !ContrastCheck::inSight(window, button))
            continue;
        const QIcon blank(transparentLike(icon.pixmap(button->iconSize())));
        found.append({button, ContrastCheck::regionIn(window, button, button->rect()),
                      [button, icon, blank](bool on) { button->setIcon(on ? icon : blank); }});
    }
    if (found.isEmpty())
        return {};
    for (const Icon& icon : found)
        icon.show(false);
    const QImage bare = ContrastCheck::render(window);
    for (const Icon& icon : found)
        icon.show(true);

    QList<Finding> findings;
    for (const Icon& icon : found) {
        if (icon.region.isEmpty())
            continue;
        const double ratio = markContrast(shot, bare, icon.region);
        if (ratio < kGraphic)
            findings.append(
                    {ContrastCheck::describe(icon.widget, placeOf(icon.widget)),
                     QStringLiteral("icon against what is behind it ") + ContrastCheck::ratioText(ratio, kGraphic)});
    }
    return findings;
}

QList<StateCheck::Finding> StateCheck::checkMarks(QWidget* window)
{
    QList<QCheckBox*> boxes;
    for (QCheckBox* box : window->findChildren<QCheckBox*>())
        if (box->isEnabled() && ContrastCheck::inSight(window, box))
            boxes.append(box);
    if (boxes.isEmpty())
        return {};
    QList<Qt::CheckState> kept;
    for (QCheckBox* box : boxes)
        kept.append(box->checkState());
    auto setAll = [&boxes](const std::function<Qt::CheckState(QCheckBox*)>& state) {
        for (QCheckBox* box : boxes) {
            const QSignalBlocker blocker(box);
            box->setCheckState(state(box));
        }
    };
    setAll([](QCheckBox*) { return Qt::Unchecked; });
    const QImage unchecked = ContrastCheck::render(window);
    setAll([](QCheckBox*) { return Qt::Checked; });
    const QImage checked = ContrastCheck::render(window);
    // The select-all boxes also show "some of them".
    setAll([](QCheckBox* box) { return box->isTristate() ? Qt::PartiallyChecked : Qt::Checked; });
    const QImage partly = ContrastCheck::render(window);
    for (int i = 0; i < boxes.size(); ++i) {
        const QSignalBlocker blocker(boxes.at(i));
        boxes.at(i)->setCheckState(kept.at(i));
    }

    QList<Finding> findings;
    for (QCheckBox* box : boxes) {
        const QRect region = ContrastCheck::regionIn(window, box, box->rect());
        if (region.isEmpty())
            continue;
        const double ratio = markContrast(checked, unchecked, region);
        if (ratio < kGraphic)
            findings.append(
                    {ContrastCheck::describe(box, box->text()),
                     QStringLiteral("check mark against the empty box ") + ContrastCheck::ratioText(ratio, kGraphic)});
        const double partial = box->isTristate() ? markContrast(partly, unchecked, region) : kGraphic;
        if (partial < kGraphic)
            findings.append(
                    {ContrastCheck::describe(box, box->text()), QStringLiteral("partial mark against the empty box ") +
                                                                        ContrastCheck::ratioText(partial, kGraphic)});
    }
    return findings;
}

QList<StateCheck::Finding> StateCheck::buttons(QWidget* window)
{
    // Every button shown once more in the other state, all at once. The icons of buttons with a text
    // (the platform's, on a message box's buttons) are left out: the text is what a disabled look
    // fades. A button with only a picture fades its picture.
    QList<QPushButton*> pushes;
    for (QPushButton* push : window->findChildren<QPushButton*>())
        if (push->parentWidget() && push->parentWidget()->isEnabled() && ContrastCheck::inSight(window, push))
            pushes.append(push);
    if (pushes.isEmpty())
        return {};
    QWidget* focus = window->focusWidget();
    QList<QIcon> icons;
    for (QPushButton* push : pushes) {
        icons.append(push->icon());
        if (!push->text().isEmpty())
            push->setIcon(QIcon());
    }
    const QImage shot = ContrastCheck::render(window);
    for (QPushButton* push : pushes)
        push->setEnabled(!push->isEnabled());
    const QImage flipped = ContrastCheck::render(window);
    for (int i = 0; i < pushes.size(); ++i) {
        pushes.at(i)->setEnabled(!pushes.at(i)->isEnabled());
        pushes.at(i)->setIcon(icons.at(i));
    }
    if (focus && window->focusWidget() != focus)
        focus->setFocus(Qt::OtherFocusReason);

    QList<Finding> findings;
    for (QPushButton* push : pushes) {
        // Inside the outline, as the contrast check takes the face.
        const QRect inner = ContrastCheck::regionIn(window, push, ContrastCheck::faceRect(push)).adjusted(6, 6, -6, -6);
        if (inner.isEmpty())
            continue;
        const ContrastCheck::Colours now = ContrastCheck::measure(shot, inner);
        const ContrastCheck::Colours other = ContrastCheck::measure(flipped, inner);
        const ContrastCheck::Colours& enabled = push->isEnabled() ? now : other;
        const ContrastCheck::Colours& disabled = push->isEnabled() ? other : now;
        const QString name = ContrastCheck::describe(push, push->text());
        if (disabled.ratio >= enabled.ratio)
            findings.append({name, QStringLiteral("disabled text %1:1, not below the enabled %2:1")
                                           .arg(disabled.ratio, 0, 'f', 2)
                                           .arg(enabled.ratio, 0, 'f', 2)});
        const double step = std::max(ColourContrast::ratio(enabled.background, disabled.background),
                                     ColourContrast::ratio(enabled.text, disabled.text));
        if (step < kLookStep)
            findings.append({name, QStringLiteral("enabled and disabled looks apart by ") +
                                           ContrastCheck::ratioText(step, kLookStep)});
    }
    return findings;
}

QList<StateCheck::Finding> StateCheck::check(QWidget* window) const
{
    const QImage shot = ContrastCheck::render(window);
    return icons(window, shot) + checkMarks(window) + buttons(window);
}
