#include "core/ColourContrast.h"

#include <QtTest>

class TestColourContrast : public QObject
{
    Q_OBJECT
private slots:
    // Ratios as the WCAG 2 checkers state them, to two decimals, in both orders.
    void ratio_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("background");
        QTest::addColumn<double>("expected");
        QTest::newRow("black on white") << "#000000" << "#FFFFFF" << 21.0;
        QTest::newRow("same colour") << "#FFFFFF" << "#FFFFFF" << 1.0;
        QTest::newRow("AA small text, just") << "#767676" << "#FFFFFF" << 4.54;
        QTest::newRow("AA small text, missed") << "#777777" << "#FFFFFF" << 4.48;
        QTest::newRow("AAA small text") << "#595959" << "#FFFFFF" << 7.0;
        QTest::newRow("blue on white") << "#0000FF" << "#FFFFFF" << 8.59;
        QTest::newRow("red on white") << "#FF0000" << "#FFFFFF" << 4.0;
        QTest::newRow("grey on black") << "#808080" << "#000000" << 5.32;
    }

    void ratio()
    {
        QFETCH(QString, text);
        QFETCH(QString, background);
        QFETCH(double, expected);
        const double forward = ColourContrast::ratio(QColor(text), QColor(background));
        QVERIFY2(qAbs(forward - expected) < 0.005, qPrintable(QString::number(forward)));
        QCOMPARE(ColourContrast::ratio(QColor(background), QColor(text)), forward);
    }
};

QTEST_APPLESS_MAIN(TestColourContrast)
#include "tst_colourcontrast.moc"
