#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class AppInfo;
class QApplication;

// The application-wide style sheet of a brand: sheet parts from the resources
// (":/res/style/<part>.qss") whose ${NAME} placeholders are filled from the brand's table, and
// the brand's fonts (":/res/fonts/<name>.ttf").
class Style : public QObject
{
    Q_OBJECT

public:
    using Variables = QMap<QString, QString>;

    ~Style() override;

    virtual QStringList fonts() const = 0;
    virtual Variables variables() const = 0;
    // The default parts; brands append their own.
    virtual QStringList styleSheetParts() const;

    void apply(QApplication *app) const;
    QString compose() const;

    // Replaces every ${NAME} in one pass; an unknown name leaves the bare name and clears *ok.
    static QString expandVariables(const Variables &variables, const QString &text, bool *ok = nullptr);
    static QString expansionFor(const Variables &variables, const QString &name, bool *ok = nullptr);

    static QString partResource(const QString &part);
    static QString fontResource(const QString &font);

protected:
    Style() = default;
};

// Picks the style by the record's brand key and applies it; an unknown brand keeps the
// framework's look.
void applyBrandStyle(QApplication *app, const AppInfo *appInfo);
