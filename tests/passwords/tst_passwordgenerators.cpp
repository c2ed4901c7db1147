#include "passwords/MemorizablePasswordGenerator.h"
#include "passwords/RandomPasswordGenerator.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>

#include <QtTest>

#include <cstdlib>

// Chi-square of counts against equal expectations. From 2 to 90 categories a uniform source stays
// below the limit with probability above 1 - 1e-6.
static double chiSquare(const QHash<QString, int> &counts, int categories)
{
    int total = 0;
    for (int c : counts) {
        total += c;
    }
    const double expected = double(total) / categories;
    double sum = (categories - counts.size()) * expected; // categories never drawn
    for (int c : counts) {
        sum += (c - expected) * (c - expected) / expected;
    }
    return sum;
}
static double chiLimit(int categories)
{
    const double df = categories - 1;
    return df + 6.0 * std::sqrt(2.0 * df) + 16.0;
}

class TestPasswordGenerators : public QObject
{
    Q_OBJECT

private slots:
    void memorizableShape();
    void randomCharsets_data();
    void randomCharsets();
    void uniformAndUnseeded();
};

void TestPasswordGenerators::memorizableShape()
{
    const MemorizablePasswordGenerator gen;
    QHash<QString, int> placements;
    QHash<QString, int> syllables;
    const auto checkPair = [&](const QString &pw, int at) {
        const QString pair = pw.mid(at, 2);
        QVERIFY2(gen.consonants().contains(pair[0]) && gen.vowels().contains(pair[1]), qPrintable(pw));
        QVERIFY2(!gen.forbiddenSyllables().contains(pair), qPrintable(pw));
        ++syllables[pair];
    };
    for (int i = 0; i < 6000; ++i) {
        const QString pw = gen.generate();
        QCOMPARE(pw.size(), 12);
        const int first = pw.indexOf(QRegularExpression("[0-9]"));
        QVERIFY2(first >= 4 && first <= 6 && pw.mid(first, 2).contains(QRegularExpression("^[0-9]{2}$")),
                 qPrintable(pw));
        QCOMPARE(pw.count(QRegularExpression("[0-9]")), 2);
        ++placements[QString::number(first)];
        for (int at : {0, 2, 8, 10}) {
            checkPair(pw, at);
        }
        if (first == 4) {
            checkPair(pw, 6);
        } else if (first == 6) {
            checkPair(pw, 4);
        } else {
            QVERIFY(gen.consonants().contains(pw[4]) && gen.vowels().contains(pw[7]));
        }
    }
    QCOMPARE(gen.forbiddenSyllables().size(), 55);
    QCOMPARE(syllables.size(), 78);
    QVERIFY(chiSquare(placements, 3) < chiLimit(3));
    QVERIFY(chiSquare(syllables, 78) < chiLimit(78));
}

void TestPasswordGenerators::randomCharsets_data()
{
    QTest::addColumn<bool>("upper");
    QTest::addColumn<bool>("special");
    QTest::addColumn<bool>("digits");
    QTest::addColumn<int>("size");
    QTest::newRow("lower case only") << false << false << false << 26;
    QTest::newRow("upper") << true << false << false << 52;
    QTest::newRow("special") << false << true << false << 50;
    QTest::newRow("digits") << false << false << true << 36;
    QTest::newRow("everything") << true << true << true << 86;
}

void TestPasswordGenerators::randomCharsets()
{
    QFETCH(bool, upper);
    QFETCH(bool, special);
    QFETCH(bool, digits);
    QFETCH(int, size);
    const QString chars = RandomPasswordGenerator::charset(upper, special, digits);
    QCOMPARE(chars.size(), size);
    QCOMPARE(chars.contains('\\'), special);
    const QString pw = RandomPasswordGenerator::generate(12, upper, special, digits);
    QCOMPARE(pw.size(), 12);
    for (QChar c : pw) {
        QVERIFY2(chars.contains(c), qPrintable(pw));
    }
    QVERIFY(RandomPasswordGenerator::generate(0, upper, special, digits).isEmpty());
}

// Every character equally likely; a seeded process-wide generator would repeat itself after the
// same seed, and the check below rejects picks taken modulo a byte.
void TestPasswordGenerators::uniformAndUnseeded()
{
    const QString chars = RandomPasswordGenerator::charset(true, true, true);
    QHash<QString, int> counts;
    QHash<QString, int> biased;
    for (int i = 0; i < 1500; ++i) {
        for (QChar c : RandomPasswordGenerator::generate(86, true, true, true)) {
            ++counts[c];
        }
    }
    for (int i = 0; i < 1500 * 86; ++i) {
        ++biased[chars.at((QRandomGenerator::global()->generate() & 0xff) % chars.size())];
    }
    QVERIFY2(chiSquare(counts, 86) < chiLimit(86), qPrintable(QString::number(chiSquare(counts, 86))));
    QVERIFY2(chiSquare(biased, 86) > chiLimit(86), qPrintable(QString::number(chiSquare(biased, 86))));

    QStringList runs[2];
    const MemorizablePasswordGenerator gen;
    for (QStringList &run : runs) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        qsrand(42);
        QT_WARNING_POP
        std::srand(42);
        for (int i = 0; i < 10; ++i) {
            run << gen.generate() << RandomPasswordGenerator::generate(12, true, true, true);
        }
    }
    QVERIFY(runs[0] != runs[1]);
}

QTEST_APPLESS_MAIN(TestPasswordGenerators)
#include "tst_passwordgenerators.moc"
