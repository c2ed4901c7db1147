#include "core/AppInfo.h"
#include "core/BrandingTranslator.h"
#include "tests/support/LogCapture.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QtTest>

namespace {

const char *const TestSentence = "This sentence is in English.";

// Installs the two translators as the start-up does and removes them again.
struct InstalledPair
{
    InstalledPair(const AppInfo *info, const QStringList &languages)
    {
        qt = BrandingTranslator::install(info, "qt_", QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                                         languages);
        qt->setAnswersUntranslated(true);
        program = BrandingTranslator::install(info, "r7trl_", ":/trl", languages);
    }
    ~InstalledPair()
    {
        for (BrandingTranslator *t : {program, qt}) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    BrandingTranslator *qt = nullptr;
    BrandingTranslator *program = nullptr;
};

} // namespace

class TestBrandingTranslator : public QObject
{
    Q_OBJECT

private slots:
    void table()
    {
        // Only the brand key "sorel", exactly, has help pages of its own.
        for (const QString &brand : {QString("sorel"), QString("Sorel")}) {
            AppInfo info = AppInfo::forThisBuild();
            info.brandKey = brand;
            const BrandingTranslator::Table table = BrandingTranslator::buildTable(&info);
            QCOMPARE(table.size(), 9);
            const QString help = QString(info.baseUrl) + "/de/faq/questions-about-sync-client";
            QCOMPARE(table.value("URL_HELP_DE"), brand == "sorel" ? BrandingTranslator::SorelHelpUrlDe : help);
            QVERIFY(QRegularExpression("^[A-Z][a-z]{2} [ 123]\\d \\d{4}$").match(table.value("BUILD_DATE")).hasMatch());
        }
    }

    void languageChoice_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("de-CH falls back to de") << QStringList{"de-CH", "en"} << "de"
                                                << "Dieser Satz ist auf Deutsch.";
        QTest::newRow("en-US needs no file") << QStringList{"en-US", "de"} << "en" << TestSentence;
        QTest::newRow("unknown first") << QStringList{"fr-FR", "de-AT"} << "de"
                                       << "Dieser Satz ist auf Deutsch.";
    }

    void languageChoice()
    {
        QFETCH(QStringList, languages);
        QFETCH(QString, selected);
        const AppInfo info = AppInfo::forThisBuild();
        LogCapture log;
        InstalledPair pair(&info, languages);
        QCOMPARE(pair.program->loadedLanguage(), selected);
        QVERIFY2(log.contains(QString("lang=%1: r7trl_ lib translation loaded").arg(selected)),
                 qPrintable(log.messages().join('\n')));
        QTEST(QCoreApplication::translate("", TestSentence), "sentence");
    }

    void missingMessageIsExpanded_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("de, both catalogues loaded") << "de";
        QTest::newRow("en, none loaded") << "en";
    }

    void missingMessageIsExpanded()
    {
        QFETCH(QString, language);
        const AppInfo info = AppInfo::forThisBuild();
        InstalledPair pair(&info, {language});
        QCOMPARE(QCoreApplication::translate("NoSuchContext", "Welcome to ${APP_NAME}"),
                 QString("Welcome to %1").arg(info.displayName));
        // The framework's own German texts come from the distribution's catalogue.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QString(language == "de" ? "Abbrechen" : "Cancel"));
        // German plurals, placeholders filled.
        const char *source = "%n change(s) in your ${APP_NAME}";
        QCOMPARE(QCoreApplication::translate("R7Application", source, nullptr, 3),
                 QString(language == "de" ? "3 Änderungen in Ihrem %1" : "3 change(s) in your %1").arg(info.displayName));
    }
};

QTEST_GUILESS_MAIN(TestBrandingTranslator)
#include "tst_brandingtranslator.moc"
