#include "core/AppInfo.h"
#include "core/SorelStyle.h"
#include "core/Style.h"
#include "core/TamselStyle.h"
#include "core/VarnelStyle.h"
#include "tests/support/LogCapture.h"

#include <QApplication>
#include <QPushButton>
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

} // namespace

class TestStyle : public QObject
{
    Q_OBJECT

private slots:
    void brands_data()
    {
        QTest::addColumn<QString>("brand");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("parts");
        QTest::addColumn<QStringList>("fonts");
        QTest::addColumn<QString>("buttonColour");
        QTest::newRow("varnel") << "varnel" << 41 << 11 << QStringList() << "#c99c30";
        QTest::newRow("sorel") << "sorel" << 48 << 14 << QStringList{"sorel_univers_430_regular"} << "#2282c1";
        QTest::newRow("tamsel") << "tamsel" << 40 << 11 << QStringList() << "#be4963";
    }

    void brands()
    {
        QFETCH(QString, brand);
        const auto style = styleFor(brand);
        QTEST(int(style->variables().size()), "entries");
        QTEST(style->fonts(), "fonts");
        const QStringList parts = style->styleSheetParts();
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
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("null stays null") << QString() << QString() << QStringList();
        QTest::newRow("back to back") << "${BG_COLOR}${BG_COLOR}"
                                      << "#FFFFFF#FFFFFF" << QStringList();
        QTest::newRow("dollar without brace") << "$x $${BG_COLOR} $"
                                              << "$x $#FFFFFF $" << QStringList();
        QTest::newRow("unclosed") << "a ${BG_COLOR} ${BG_COLOR b"
                                  << "a #FFFFFF ${BG_COLOR b" << QStringList();
        QTest::newRow("unknown") << "${NOPE} ${NOPE}"
                                 << "NOPE NOPE"
                                 << QStringList{"Unable to find expansion for 'NOPE'",
                                                "Unable to find expansion for 'NOPE'"};
        QTest::newRow("no trimming") << "${ BG_COLOR}"
                                     << " BG_COLOR" << QStringList{"Unable to find expansion for ' BG_COLOR'"};
        QTest::newRow("value not expanded again") << "${SELF}"
                                                  << "${BG_COLOR}" << QStringList();
    }

    void expansion()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, warnings);
        Style::Variables table = VarnelStyle().variables();
        table.insert("SELF", "${BG_COLOR}");
        LogCapture log;
        bool ok = false;
        const QString result = Style::expandVariables(table, text, &ok);
        QTEST(result, "expanded");
        QCOMPARE(result.isNull(), text.isNull());
        QCOMPARE(ok, warnings.isEmpty());
        QCOMPARE(log.messages(), warnings);
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
        QCOMPARE(log.messages().size(), uses);
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
};

QTEST_MAIN(TestStyle)
#include "tst_style.moc"
