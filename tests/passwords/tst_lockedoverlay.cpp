#include "core/AppInfo.h"
#include "core/R7Application.h"
#include "passwords/LockedOverlay.h"
#include "tests/support/TestEnv.h"

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
    QVERIFY(R7Application::instance()->storeLocalPasswordHash("Demo-Passw0rd"));
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
    // The right password during the shake: Return must not be heard yet.
    QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(input, "Demo-Passw0rd");
    QTest::keyClick(input, Qt::Key_Return);
    QTRY_VERIFY(!overlay->findChild<QPropertyAnimation *>("shakeAnimation"));
    QCOMPARE(input->geometry(), home);
    QCOMPARE(input->selectedText(), QString("Demo-Passw0rd"));
    QVERIFY(overlay->isVisible());
    QCOMPARE(unlocked.count(), 0);

    QTest::keyClick(input, Qt::Key_Return);
    QVERIFY(input->text().isEmpty());
    QTRY_VERIFY(overlay.isNull());
    QCOMPARE(unlocked.count(), 1);
}

// The application object checks the password, as in the client.
int main(int argc, char **argv)
{
    TestEnv env;
    AppInfo info = AppInfo::forThisBuild();
    R7Application app(argc, argv, &info);
    TestLockedOverlay test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_lockedoverlay.moc"
