#include "core/BrandingTranslator.h"

#include "core/AppInfo.h"
#include "core/Style.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>

const char *const BrandingTranslator::SorelHelpUrl = "https://www.sorel.example/en/support/tessarvale";
const char *const BrandingTranslator::SorelHelpUrlDe = "https://www.sorel.example/de/support/tessarvale";

BrandingTranslator::BrandingTranslator(const AppInfo *appInfo)
    : m_table(std::make_shared<const Table>(buildTable(appInfo)))
{}

BrandingTranslator::Table BrandingTranslator::buildTable(const AppInfo *appInfo)
{
    const QString baseUrl = QString::fromLatin1(appInfo->baseUrl);
    const bool sorel = appInfo->brandKey == QLatin1String("sorel");
    // __DATE__ is "Nov 25 2016" and __TIME__ "hh:mm:ss", the forms the texts show.
    return {
            {QStringLiteral("APP_NAME"), QString::fromLatin1(appInfo->displayName)},
            {QStringLiteral("APP_VERSION"), QString::fromLatin1(appInfo->version)},
            {QStringLiteral("APP_DEVSTAGE"), QString::fromLatin1(appInfo->devStage)},
            {QStringLiteral("APP_BASE_URL"), baseUrl},
            {QStringLiteral("APP_REV"), QString::fromLatin1(appInfo->revision)},
            {QStringLiteral("URL_HELP"), sorel ? QString::fromLatin1(SorelHelpUrl)
                                               : baseUrl + QStringLiteral("/en/faq/questions-about-sync-client")},
            {QStringLiteral("URL_HELP_DE"), sorel ? QString::fromLatin1(SorelHelpUrlDe)
                                                  : baseUrl + QStringLiteral("/de/faq/questions-about-sync-client")},
            {QStringLiteral("BUILD_DATE"), QStringLiteral(__DATE__)},
            {QStringLiteral("BUILD_TIME"), QStringLiteral(__TIME__)},
    };
}

QString BrandingTranslator::translate(const char *context, const char *sourceText, const char *disambiguation,
                                      int n) const
{
    QString text;
    if (QTranslator::isEmpty()) {
        text = QString::fromUtf8(sourceText);
    } else {
        text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (text.isNull() && m_answersUntranslated) {
            text = QString::fromUtf8(sourceText);
        }
    }
    if (text.isNull()) {
        return text;
    }
    return Style::expandVariables(*m_table, text);
}

bool BrandingTranslator::isEmpty() const
{
    return false;
}

bool BrandingTranslator::loadLanguage(const QString &language, const QString &prefix, const QString &directory,
                                      QString *tried)
{
    *tried = prefix + language;
    return load(*tried, directory) || language == QLatin1String("en");
}

BrandingTranslator *BrandingTranslator::install(const AppInfo *appInfo, const QString &prefix, const QString &directory,
                                                const QStringList &languages)
{
    // The application owns it: it lives as long as the program runs and goes with the application.
    auto *translator = new BrandingTranslator(appInfo);
    translator->setParent(QCoreApplication::instance());
    static const QRegularExpression region(QStringLiteral("-.*$"));
    QString tried;
    for (const QString &language : languages) {
        QString found;
        if (translator->loadLanguage(language, prefix, directory, &tried)) {
            found = language;
        } else if (language.contains(QLatin1Char('-'))) {
            QString shortened = language;
            shortened.remove(region);
            if (translator->loadLanguage(shortened, prefix, directory, &tried)) {
                found = shortened;
            }
        }
        if (!found.isEmpty()) {
            translator->m_language = found;
            break;
        }
    }
    qDebug("BrandingTranslator::install: lang=%s: %s lib translation loaded: '%s'/'%s'",
           qUtf8Printable(translator->m_language), qUtf8Printable(prefix), qUtf8Printable(directory),
           qUtf8Printable(tried));
    QCoreApplication::installTranslator(translator);
    return translator;
}

BrandingTranslator::Installed BrandingTranslator::installBoth(const AppInfo *appInfo, const QStringList &languages)
{
    Installed installed;
    installed.framework =
            install(appInfo, QStringLiteral("qt_"), QLibraryInfo::location(QLibraryInfo::TranslationsPath), languages);
    // Without it a text missing from a loaded catalogue would show its placeholders.
    installed.framework->setAnswersUntranslated(true);
    installed.program = install(appInfo, QStringLiteral("r7trl_"), QStringLiteral(":/trl"), languages);
    return installed;
}
