#include "core/Style.h"

#include "core/AppInfo.h"
#include "core/PlaceholderTint.h"
#include "core/SorelStyle.h"
#include "core/TamselStyle.h"
#include "core/VarnelStyle.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>

#include <memory>

Style::~Style() = default;

QStringList Style::styleSheetParts() const
{
    return {QStringLiteral("forms"),
            QStringLiteral("mainwindow"),
            QStringLiteral("dialogs"),
            QStringLiteral("views/loginview"),
            QStringLiteral("views/passwordsview"),
            QStringLiteral("views/synchistoryview"),
            QStringLiteral("views/filesyncsettingsview"),
            QStringLiteral("views/mainsettingsview"),
            QStringLiteral("views/mainfilesafeview")};
}

QString Style::partResource(const QString &part)
{
    return QStringLiteral(":/res/style/%1.qss").arg(part);
}

QString Style::fontResource(const QString &font)
{
    return QStringLiteral(":/res/fonts/%1.ttf").arg(font);
}

void Style::apply(QApplication *app) const
{
    app->setStyleSheet(compose());
    PlaceholderTint::install(app);
    for (const QString &font : fonts()) {
        QFontDatabase::addApplicationFont(fontResource(font));
    }
}

QString Style::compose() const
{
    const Variables table = variables();
    QStringList sheets;
    for (const QString &part : styleSheetParts()) {
        const QString path = partResource(part);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("Style::compose: cannot open style sheet: %s", qUtf8Printable(path));
            continue;
        }
        QByteArray bytes = file.readAll();
        const int zero = bytes.indexOf('\0');
        if (zero >= 0) {
            bytes.truncate(zero);
        }
        sheets << expandVariables(table, QString::fromLatin1(bytes));
    }
    return sheets.join(QLatin1Char('\n'));
}

QString Style::expandVariables(const Variables &variables, const QString &text, bool *ok)
{
    if (ok) {
        *ok = true;
    }
    if (!text.contains(QLatin1Char('$'))) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    int pos = 0;
    for (;;) {
        const int dollar = text.indexOf(QLatin1Char('$'), pos);
        if (dollar < 0) {
            out += text.midRef(pos);
            return out;
        }
        out += text.midRef(pos, dollar - pos);
        if (dollar + 1 >= text.size() || text.at(dollar + 1) != QLatin1Char('{')) {
            out += QLatin1Char('$');
            pos = dollar + 1;
            continue;
        }
        const int close = text.indexOf(QLatin1Char('}'), dollar + 2);
        if (close < 0) {
            out += text.midRef(dollar);
            return out;
        }
        out += expansionFor(variables, text.mid(dollar + 2, close - dollar - 2), ok);
        pos = close + 1;
    }
}

QString Style::expansionFor(const Variables &variables, const QString &name, bool *ok)
{
    const auto it = variables.constFind(name);
    if (it != variables.constEnd()) {
        return it.value();
    }
    if (ok) {
        *ok = false;
    }
    qWarning("Unable to find expansion for '%s'", qUtf8Printable(name));
    return name;
}

void applyBrandStyle(QApplication *app, const AppInfo *appInfo)
{
    std::unique_ptr<Style> style;
    if (appInfo->brandKey == QLatin1String("tamsel")) {
        style = std::make_unique<TamselStyle>();
    } else if (appInfo->brandKey == QLatin1String("sorel")) {
        style = std::make_unique<SorelStyle>();
    } else if (appInfo->brandKey == QLatin1String("varnel")) {
        style = std::make_unique<VarnelStyle>();
    }
    if (style) {
        style->apply(app);
    }
}
