#include "passwords/LockedOverlay.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>

#include <QtTest>

class TestLockedOverlay : public QObject
{
    Q_OBJECT

private slots:
    void followsParent();
    void wrongPasswordShakesRightOneUnlocks();
};

void TestLockedOverlay::followsParent()
{
    QWidget page;
    page.resize(600, 300);
    auto *overlay = new LockedOverlay(&page);
    page.show();
    overlay->showImmediately();
    QCOMPARE(overlay->findChild<QLabel *>()->geometry(), QRect(202, 170, 240, 25));
    QCOMPARE(overlay->findChild<QLineEdit *>()->geometry(), QRect(202, 200, 240, 25));
    page.resize(800, 450);
    QCOMPARE(overlay->size(), QSize(800, 450));
    QCOMPARE(overlay->findChild<QLineEdit *>()->geometry(), QRect(302, 300, 240, 25));
    auto *late = new QPushButton("late", &page);
    late->show();
    QCOMPARE(page.childAt(QPoint(10, 10)), overlay);
}

void TestLockedOverlay::wrongPasswordShakesRightOneUnlocks()
{
    QStringList checked;
    LockedOverlay::setPasswordCheck([&](const QString &text) {
        checked << text;
        return text == "Demo-Passw0rd";
    });
    QWidget page;
    page.resize(600, 300);
    QPointer<LockedOverlay> overlay = new LockedOverlay(&page);
    QSignalSpy unlocked(overlay.data(), &LockedOverlay::unlocked);
    page.show();
    overlay->showImmediately();
    auto *input = overlay->findChild<QLineEdit *>();
    const QRect home = input->geometry();

    QTest::keyClicks(input, "wrong");
    QTest::keyClick(input, Qt::Key_Return);
    QVERIFY(overlay->findChild<QPropertyAnimation *>("shakeAnimation"));
    QTest::keyClick(input, Qt::Key_Return); // ignored while it shakes
    QCOMPARE(checked, QStringList{"wrong"});
    QTRY_VERIFY(!overlay->findChild<QPropertyAnimation *>("shakeAnimation"));
    QCOMPARE(input->geometry(), home);
    QCOMPARE(input->selectedText(), QString("wrong"));
    QVERIFY(overlay->isVisible());
    QCOMPARE(unlocked.count(), 0);

    QTest::keyClicks(input, "Demo-Passw0rd");
    QTest::keyClick(input, Qt::Key_Return);
    QCOMPARE(checked.last(), QString("Demo-Passw0rd"));
    QVERIFY(input->text().isEmpty());
    QTRY_VERIFY(overlay.isNull());
    QCOMPARE(unlocked.count(), 1);
    LockedOverlay::setPasswordCheck(nullptr);
}

QTEST_MAIN(TestLockedOverlay)
#include "tst_lockedoverlay.moc"
