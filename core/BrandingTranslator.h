#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTranslator>

#include <memory>

class AppInfo;

// A translator that also fills the brand's placeholders ("${APP_NAME}", "${URL_HELP}", ...) into
// every text it hands out, so one set of texts serves every brand.
class BrandingTranslator : public QTranslator
{
    Q_OBJECT

public:
    using Table = QMap<QString, QString>;

    explicit BrandingTranslator(const AppInfo *appInfo);

    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    // Consulted even without a loaded file: it still expands placeholders.
    bool isEmpty() const override;

    // The last translator the framework consults answers a message that no catalogue knows with
    // its expanded source text, so no placeholder reaches the user.
    void setAnswersUntranslated(bool answers) { m_answersUntranslated = answers; }

    const Table &table() const { return *m_table; }
    QString loadedLanguage() const { return m_language; }

    // Loads the first usable language of the list (de-CH falls back to de; "en" needs no file)
    // and installs the translator, loaded or not. It lives until the program ends.
    static BrandingTranslator *install(const AppInfo *appInfo, const QString &prefix, const QString &directory,
                                       const QStringList &languages);

    // The start's two translators: the framework's texts, installed first and so consulted last,
    // which also answers what no catalogue knows; then the program's texts.
    struct Installed
    {
        BrandingTranslator *framework = nullptr;
        BrandingTranslator *program = nullptr;
    };
    static Installed installBoth(const AppInfo *appInfo, const QStringList &languages);

    static Table buildTable(const AppInfo *appInfo);

    // The Sorel partner's own help pages.
    static const char *const SorelHelpUrl;
    static const char *const SorelHelpUrlDe;

private:
    bool loadLanguage(const QString &language, const QString &prefix, const QString &directory, QString *tried);

    std::shared_ptr<const Table> m_table;
    QString m_language = QStringLiteral("none");
    bool m_answersUntranslated = false;
};
