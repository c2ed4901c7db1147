#include "core/PlaceholderTint.h"

#include "core/ColourContrast.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <algorithm>

PlaceholderTint::PlaceholderTint(QObject *parent) : QObject(parent) {}

void PlaceholderTint::install(QApplication *app)
{
    if (app->findChild<PlaceholderTint *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app->installEventFilter(new PlaceholderTint(app));
}

void PlaceholderTint::tint(QWidget *field)
{
    QPalette palette = field->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor text = palette.color(group, QPalette::Text);
        QColor base = palette.color(group, QPalette::Base);
        if (base.alpha() == 0)
            base = palette.color(group, QPalette::Window);
        const double target = std::clamp(ColourContrast::ratio(text, base) / kBelowText, kReadable, kEnough);
        const QColor placeholder = ColourContrast::towards(text, base, target);
        if (palette.color(group, QPalette::PlaceholderText) != placeholder)
            palette.setColor(group, QPalette::PlaceholderText, placeholder);
    }
    // Setting an unchanged palette would announce a change again and again.
    if (palette != field->palette())
        field->setPalette(palette);
}

bool PlaceholderTint::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::Polish || event->type() == QEvent::PaletteChange) && watched->isWidgetType() &&
        (qobject_cast<QLineEdit *>(watched) || qobject_cast<QPlainTextEdit *>(watched) ||
         qobject_cast<QTextEdit *>(watched))) {
        tint(static_cast<QWidget *>(watched));
    }
    return false;
}
