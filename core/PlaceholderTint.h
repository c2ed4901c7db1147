#pragma once

#include <QObject>

class QApplication;
class QWidget;

// A style sheet that sets a field's text colour gives its placeholder the very same colour, so an
// empty field looks filled in. This filter keeps every field's placeholder lighter than its text,
// yet readable: whenever a field's palette changes it derives the placeholder from text and base.
class PlaceholderTint : public QObject
{
    Q_OBJECT

public:
    // One filter for the whole application, owned by it; a second call adds nothing.
    static void install(QApplication *app);

    // Placeholders keep at least this contrast, and typed text this much more.
    static constexpr double kReadable = 3.0;
    static constexpr double kBelowText = 1.6;
    static constexpr double kEnough = 4.5;

    static void tint(QWidget *field);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit PlaceholderTint(QObject *parent);
};
