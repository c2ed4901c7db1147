#include "passwords/CustomSortFilterProxyModel.h"
#include "passwords/MemorizablePasswordGenerator.h"
#include "passwords/PasswordStrength.h"
#include "passwords/PasswordStrengthIndicator.h"
#include "passwords/RandomPasswordGenerator.h"

#include <QJSEngine>
#include <QLabel>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdlib>

// Chi-square of counts against equal expectations, and a limit that a uniform source of 2 to 90
// categories stays below with probability above 1 - 1e-6.
static bool uniform(const QHash<QString, int> &counts, int categories)
{
    int total = 0;
    for (int c : counts)
        total += c;
    const double expected = double(total) / categories;
    double sum = (categories - counts.size()) * expected; // categories never drawn
    for (int c : counts)
        sum += (c - expected) * (c - expected) / expected;
    return sum < categories - 1 + 6.0 * std::sqrt(2.0 * (categories - 1)) + 16.0;
}

// The parts of the password page that work without the service: generators, strength and the
// filter proxy.
class TestPasswordUnits : public QObject
{
    Q_OBJECT

private slots:
    void memorizableShape()
    {
        const MemorizablePasswordGenerator gen;
        QHash<QString, int> placements, syllables;
        const auto checkPair = [&](const QString &pw, int at) {
            const QString pair = pw.mid(at, 2);
            QVERIFY2(gen.consonants().contains(pair[0]) && gen.vowels().contains(pair[1]), qPrintable(pw));
            QVERIFY2(!gen.forbiddenSyllables().contains(pair), qPrintable(pw));
            ++syllables[pair];
        };
        for (int i = 0; i < 6000; ++i) {
            const QString pw = gen.generate();
            const int first = pw.indexOf(QRegularExpression("[0-9]"));
            QVERIFY2(pw.size() == 12 && (first == 4 || first == 5 || first == 6) &&
                             pw.count(QRegularExpression("[0-9]")) == 2 && pw.at(first + 1).isDigit(),
                     qPrintable(pw));
            ++placements[QString::number(first)];
            for (int at : {0, 2, 8, 10})
                checkPair(pw, at);
            if (first == 5)
                QVERIFY(gen.consonants().contains(pw[4]) && gen.vowels().contains(pw[7]));
            else
                checkPair(pw, first == 4 ? 6 : 4);
        }
        QCOMPARE(syllables.size(), 7 * 19 - gen.forbiddenSyllables().size()); // every allowed one appears
        QVERIFY(uniform(placements, 3));
        QVERIFY(uniform(syllables, syllables.size()));
    }

    void randomCharsets_data()
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
    void randomCharsets()
    {
        QFETCH(bool, upper);
        QFETCH(bool, special);
        QFETCH(bool, digits);
        QFETCH(int, size);
        const QString chars = RandomPasswordGenerator::charset(upper, special, digits);
        QCOMPARE(chars.size(), size);
        const QString pw = RandomPasswordGenerator::generate(12, upper, special, digits);
        QCOMPARE(pw.size(), 12);
        for (QChar c : pw)
            QVERIFY2(chars.contains(c), qPrintable(pw));
    }

    // Every character equally likely (picks taken modulo a byte fail the check, as the second
    // count shows), and no process-wide seed makes the suggestions repeat.
    void uniformAndUnseeded()
    {
        const QString chars = RandomPasswordGenerator::charset(true, true, true);
        QHash<QString, int> counts, biased;
        for (int i = 0; i < 1500; ++i)
            for (QChar c : RandomPasswordGenerator::generate(86, true, true, true))
                ++counts[c];
        for (int i = 0; i < 1500 * 86; ++i)
            ++biased[chars.at((QRandomGenerator::global()->generate() & 0xff) % chars.size())];
        QVERIFY(uniform(counts, 86));
        QVERIFY(!uniform(biased, 86));

        QStringList runs[2];
        const MemorizablePasswordGenerator gen;
        for (QStringList &run : runs) {
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            qsrand(42);
            QT_WARNING_POP
            std::srand(42);
            for (int i = 0; i < 10; ++i)
                run << gen.generate() << RandomPasswordGenerator::generate(12, true, true, true);
        }
        QVERIFY(runs[0] != runs[1]);
    }

    // Scores of zxcvbn 4.4.2 run in node; the indicator's label follows the score.
    void zxcvbnScores_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("score");
        QTest::addColumn<QString>("label");
        QTest::newRow("empty") << "" << 0 << "weak";
        QTest::newRow("password") << "password" << 0 << "weak";
        QTest::newRow("keyboard row") << "zxcvbnm,./" << 1 << "low";
        QTest::newRow("short") << "kakebu4" << 2 << "medium";
        QTest::newRow("two words") << "horse staple" << 3 << "good";
        QTest::newRow("umlaut") << QString::fromUtf8("Küchentisch-42") << 4 << "very good";
        QTest::newRow("passphrase") << "correcthorsebatterystaple" << 4 << "very good";
    }
    void zxcvbnScores()
    {
        QFETCH(QString, password);
        QFETCH(int, score);
        QFETCH(QString, label);
        if (!password.isEmpty())
            QCOMPARE(PasswordStrength::score(password), score);
        PasswordStrengthIndicator indicator(nullptr, "placeholder text");
        indicator.setPassword(password);
        QCOMPARE(indicator.findChild<QLabel *>("strengthValueLabel")->text(), label);
    }

    void withoutWorkingScriptEverythingIsWeak()
    {
        QJSEngine missing;
        QVERIFY(!PasswordStrength::loadScript(&missing, ":/res/no-such-script.js"));
        QCOMPARE(PasswordStrength::score(&missing, "correcthorsebatterystaple"), 0);
        QTemporaryFile broken;
        QVERIFY(broken.open());
        broken.write("var zxcvbn = function (p) { throw new Error('broken ' + p); };");
        broken.close();
        QJSEngine throwing;
        QVERIFY(PasswordStrength::loadScript(&throwing, broken.fileName()));
        QCOMPARE(PasswordStrength::score(&throwing, "correcthorsebatterystaple"), 0);
    }

    // The column rules are covered through the page; here the list of ids the breached check filters by.
    void filterByIds_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("ids 12 and 34") << "12;34" << QStringList{"12", "34"};
        QTest::newRow("id 1 is not 12") << "1" << QStringList{"1"};
        QTest::newRow("no id") << "-1" << QStringList{};
    }
    void filterByIds()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, ids);
        QStandardItemModel model;
        fill(&model);
        CustomSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setFilterColumns(QList<int>{2});
        proxy.setFilterFixedString(pattern);
        QStringList accepted;
        for (int row = 0; row < proxy.rowCount(); ++row)
            accepted << proxy.index(row, 0).data(Qt::UserRole).toString();
        QCOMPARE(accepted, ids);
    }

    // One proxy through a series of searches: each answer replaces the ids of the one before,
    // including a list that differs from the last one only in its order or by one id.
    void filterByIdsFollowsEachSearch()
    {
        QStandardItemModel model;
        fill(&model);
        CustomSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setFilterColumns(QList<int>{2});
        const QList<QPair<QString, QStringList>> searches{
                {"12;34", {"12", "34"}},
                {"1", {"1"}},
                {"-1", {}},
                {"", {"1", "2", "12", "34"}},
                {"34;12", {"12", "34"}},
                {"34;2", {"2", "34"}},
                {"34;2", {"2", "34"}},
                {"2;12;1;34", {"1", "2", "12", "34"}},
        };
        for (const auto &search : searches) {
            // A copy: the same text must match even when it does not share the earlier one's data.
            proxy.setFilterFixedString(QString(search.first.constData(), search.first.size()));
            QStringList accepted;
            for (int row = 0; row < proxy.rowCount(); ++row)
                accepted << proxy.index(row, 0).data(Qt::UserRole).toString();
            QVERIFY2(accepted == search.second, qPrintable(search.first + ": " + accepted.join(',')));
        }
    }

private:
    // Rows of title, user, mask, address, comment; the id on the title and the mask.
    static void fill(QStandardItemModel *model)
    {
        for (const char *id : {"1", "2", "12", "34"}) {
            QList<QStandardItem *> items{new QStandardItem(QString("Entry %1").arg(id)), new QStandardItem("user"),
                                         new QStandardItem("******"), new QStandardItem("https://example.org"),
                                         new QStandardItem("")};
            items[0]->setData(id, Qt::UserRole);
            items[2]->setData(id, Qt::UserRole);
            model->appendRow(items);
        }
    }
};

QTEST_MAIN(TestPasswordUnits)
#include "tst_passwordunits.moc"
