#include "core/AppInfo.h"
#include "core/BrandingTranslator.h"
#include "core/MessageHandler.h"
#include "core/SorelStyle.h"
#include "core/Startup.h"
#include "core/Style.h"
#include "core/TamselStyle.h"
#include "core/VarnelStyle.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<Style> styleFor(const QString &brand)
{
    if (brand == "varnel")
        return std::make_unique<VarnelStyle>();
    if (brand == "sorel")
        return std::make_unique<SorelStyle>();
    return std::make_unique<TamselStyle>();
}

AppInfo recordFor(const QString &brand)
{
    AppInfo info = AppInfo::forThisBuild();
    info.brandKey = brand;
    return info;
}

// Installs the two translators as the start-up does and removes them again.
struct InstalledPair
{
    InstalledPair(const AppInfo *info, const QStringList &languages)
    {
        const BrandingTranslator::Installed installed = BrandingTranslator::installBoth(info, languages);
        qt = installed.framework;
        program = installed.program;
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

// What the start-up sets up: the crash-server rule, the log level, TLS, the brand's style sheet and the
// translators that fill in the brand's names.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void crashServerInvocation_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after the program name
        QTest::addColumn<bool>("server");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("-oop") << QStringList{"-oop"} << true;
        QTest::newRow("upper case") << QStringList{"-OOP"} << false;
        QTest::newRow("second argument") << QStringList{"-oop", "x"} << false;
    }

    void crashServerInvocation()
    {
        QFETCH(QStringList, arguments);
        QByteArrayList storage{"tessarvale"};
        for (const QString &a : arguments)
            storage << a.toUtf8();
        std::vector<const char *> argv;
        for (const QByteArray &a : storage)
            argv.push_back(a.constData());
        argv.push_back(nullptr);
        QTEST(isCrashServerInvocation(int(storage.size()), argv.data()), "server");
    }

    void logLevelSetting_data()
    {
        QTest::addColumn<QVariant>("stored"); // invalid: the key is missing
        QTest::addColumn<int>("level");
        QTest::newRow("missing") << QVariant() << 1;
        QTest::newRow("INFO") << QVariant("INFO") << 0;
        QTest::newRow("FATAL") << QVariant("FATAL") << 3;
        // Only the exact texts count; anything else is WARN.
        for (const char *other : {"error", " ERROR"})
            QTest::addRow("'%s'", other) << QVariant(other) << 1;
        QTest::newRow("number") << QVariant(0) << 1;
    }

    void logLevelSetting()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, level);
        TestEnv env;
        {
            QSettings settings;
            settings.clear();
            if (stored.isValid()) {
                settings.setValue(QStringLiteral("app/log_level"), stored);
            }
        }
        // Start from a level that no row expects, so that an unchanged level shows.
        setLogLevel(-1);
        QCOMPARE(readLogLevelSetting(), level);
        QCOMPARE(*logLevelPointer(), level);
    }

    void sslSupportAvailable()
    {
        QVERIFY(checkSslSupport());
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void timedMessageBox()
    {
        QPointer<QMessageBox> box =
                showTimedMessageBox(300, QMessageBox::Warning, QStringLiteral("Title"), QStringLiteral("Some <b>text</b>"));
        std::unique_ptr<QMessageBox> owner(box.data());
        QVERIFY(box->isVisible() && !box->isModal());
        QTRY_VERIFY_WITH_TIMEOUT(!box->isVisible(), 5000);
    }

    void brands_data()
    {
        QTest::addColumn<QString>("brand");
        QTest::addColumn<int>("parts");
        QTest::addColumn<QString>("buttonColour");
        QTest::newRow("varnel") << "varnel" << 11 << "#c99c30";
        QTest::newRow("sorel") << "sorel" << 14 << "#2282c1";
        QTest::newRow("tamsel") << "tamsel" << 11 << "#be4963";
    }

    void brands()
    {
        QFETCH(QString, brand);
        const QStringList parts = styleFor(brand)->styleSheetParts();
        QTEST(int(parts.size()), "parts");
        QCOMPARE(parts.mid(0, 9), VarnelStyle().Style::styleSheetParts());
        // Every part the brand names is shipped; its own parts follow the shared ones.
        for (const QString &part : parts)
            QVERIFY2(QFile::exists(Style::partResource(part)) && (parts.indexOf(part) < 9 || part.startsWith(brand + "/")),
                     qPrintable(part));

        // A button grabbed under the brand's sheet has the brand's colour.
        const AppInfo info = recordFor(brand);
        applyBrandStyle(qApp, &info);
        QPushButton button("OK");
        button.resize(120, 40);
        button.ensurePolished();
        const QImage image = button.grab().toImage();
        QTEST(image.pixelColor(image.width() / 2, 4).name(), "buttonColour");
        qApp->setStyleSheet(QString());
    }

    void expansion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expanded");
        QTest::addColumn<int>("warnings");
        QTest::newRow("null stays null") << QString() << QString() << 0;
        QTest::newRow("back to back") << "${BG_COLOR}${BG_COLOR}" << "#FFFFFF#FFFFFF" << 0;
        QTest::newRow("dollar without brace") << "$x $${BG_COLOR} $" << "$x $#FFFFFF $" << 0;
        QTest::newRow("unclosed") << "a ${BG_COLOR} ${BG_COLOR b" << "a #FFFFFF ${BG_COLOR b" << 0;
        QTest::newRow("unknown") << "${NOPE} ${NOPE}" << "NOPE NOPE" << 2;
        QTest::newRow("value not expanded again") << "${SELF}" << "${BG_COLOR}" << 0;
    }

    void expansion()
    {
        QFETCH(QString, text);
        QFETCH(int, warnings);
        Style::Variables table = VarnelStyle().variables();
        table.insert("SELF", "${BG_COLOR}");
        LogCapture log;
        bool ok = false;
        const QString result = Style::expandVariables(table, text, &ok);
        QTEST(result, "expanded");
        QCOMPARE(result.isNull(), text.isNull());
        QCOMPARE(ok, warnings == 0);
        QCOMPARE(log.count("Unable to find expansion for 'NOPE'"), warnings);
    }

    void composeWarnsPerMissingName()
    {
        // Varnel's table has no COMBO_TEXT_COLOR, which the shared forms use.
        QFile forms(Style::partResource("forms"));
        QVERIFY(forms.open(QIODevice::ReadOnly));
        const int uses = forms.readAll().count("${COMBO_TEXT_COLOR}");
        QVERIFY(uses > 0);
        LogCapture log;
        const QString sheet = VarnelStyle().compose();
        QCOMPARE(log.count("Unable to find expansion for 'COMBO_TEXT_COLOR'"), uses);
        QVERIFY(sheet.contains("color: COMBO_TEXT_COLOR;") && !sheet.contains("${"));
    }

    void unknownBrandSetsNoSheet()
    {
        for (const QString &brand : {QString("Varnel"), QString(), QString("other")}) {
            const AppInfo info = recordFor(brand);
            applyBrandStyle(qApp, &info);
            QVERIFY2(qApp->styleSheet().isEmpty(), qPrintable(brand));
        }
    }

    void missingMessageIsExpanded_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("language");
        QTest::newRow("de-CH falls back to de") << QStringList{"de-CH", "en"} << "de";
        QTest::newRow("en-US needs no file") << QStringList{"en-US", "de"} << "en";
    }

    void missingMessageIsExpanded()
    {
        QFETCH(QStringList, languages);
        QFETCH(QString, language);
        const AppInfo info = AppInfo::forThisBuild();
        InstalledPair pair(&info, languages);
        QCOMPARE(pair.program->loadedLanguage(), language);
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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("varnel.example"));
    QCoreApplication::setApplicationName(QStringLiteral("tessarvale"));
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
