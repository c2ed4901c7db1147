#include "passwords/PasswordStrength.h"
#include "passwords/PasswordStrengthIndicator.h"

#include <QJSEngine>
#include <QLabel>
#include <QTemporaryFile>

#include <QtTest>

class TestPasswordStrength : public QObject
{
    Q_OBJECT

private slots:
    void zxcvbnScores_data();
    void zxcvbnScores();
    void withoutWorkingScriptEverythingIsWeak();
};

void TestPasswordStrength::zxcvbnScores_data()
{
    // Scores of zxcvbn 4.4.2 run in node; label and bar colour follow the score.
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("score");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("colour");
    QTest::newRow("empty") << "" << 0 << "weak"
                           << "#FF0000";
    QTest::newRow("password") << "password" << 0 << "weak"
                              << "#FF0000";
    QTest::newRow("keyboard row") << "zxcvbnm,./" << 1 << "low"
                                  << "#EA7000";
    QTest::newRow("short") << "kakebu4" << 2 << "medium"
                           << "#FBD400";
    QTest::newRow("two words") << "horse staple" << 3 << "good"
                               << "#98DF00";
    QTest::newRow("umlaut") << "Küchentisch-42" << 4 << "very good"
                            << "#09A02C";
    QTest::newRow("passphrase") << "correcthorsebatterystaple" << 4 << "very good"
                                << "#09A02C";
}

void TestPasswordStrength::zxcvbnScores()
{
    QFETCH(QString, password);
    QFETCH(int, score);
    QFETCH(QString, label);
    QFETCH(QString, colour);
    if (!password.isEmpty()) {
        QCOMPARE(PasswordStrength::score(password), score);
    }
    PasswordStrengthIndicator indicator(nullptr, "placeholder text");
    indicator.setPassword(password);
    QCOMPARE(indicator.findChild<QLabel *>("strengthValueLabel")->text(), label);
    for (int bar = 1; bar <= 5; ++bar) {
        const QString expected = QString("background-color: %1").arg(bar <= score + 1 ? colour : "#e5e5e5");
        QCOMPARE(indicator.findChild<QWidget *>(QString("step%1").arg(bar))->styleSheet(), expected);
    }
}

void TestPasswordStrength::withoutWorkingScriptEverythingIsWeak()
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

QTEST_MAIN(TestPasswordStrength)
#include "tst_passwordstrength.moc"
