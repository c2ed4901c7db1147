// The Alt-click gesture, the floating placeholder and the shared percentage of the progress
// displays.
#include "platform/KeyboardState.h"
#include "ui/FeaturesUtil.h"
#include "ui/PermanentPlaceholderOverlay.h"
#include "ui/SyncPercent.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

class TestSharedWidgets : public QObject
{
    Q_OBJECT

private slots:
    void percent_data();
    void percent();
    void altClickGesture();
    void placeholderFloatsAndReturns();
    void capsLockUnknownWithoutX();
};

void TestSharedWidgets::capsLockUnknownWithoutX()
{
    // Offscreen there is no X server to ask: no answer, and so no hint.
    QCOMPARE(KeyboardState::capsLock(), KeyboardState::Unknown);
}

void TestSharedWidgets::percent_data()
{
    QTest::addColumn<int>("executed");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("percent");
    QTest::newRow("1 of 3") << 1 << 3 << 33;
    QTest::newRow("2 of 3") << 2 << 3 << 66;
    QTest::newRow("3 of 3") << 3 << 3 << 100;
    QTest::newRow("1 of 200") << 1 << 200 << 0;
    QTest::newRow("no work") << 0 << 0 << -1;
    QTest::newRow("large run") << 99999 << 100000 << 99;
}

void TestSharedWidgets::percent()
{
    QFETCH(int, executed);
    QFETCH(int, total);
    QTEST(syncPercent(executed, total), "percent");
}

void TestSharedWidgets::altClickGesture()
{
    QWidget target;
    FeaturesUtil util(5, 300, Qt::AltModifier, &target);
    QSignalSpy triggered(&util, &FeaturesUtil::triggered);
    auto press = [&](Qt::KeyboardModifiers modifiers) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(1, 1), Qt::LeftButton, Qt::LeftButton, modifiers);
        util.onMousePress(&event);
    };
    for (int i = 0; i < 4; ++i)
        press(Qt::AltModifier);
    press(Qt::AltModifier | Qt::ControlModifier); // starts over
    for (int i = 0; i < 4; ++i)
        press(Qt::AltModifier);
    QCOMPARE(triggered.count(), 0);
    press(Qt::AltModifier);
    QCOMPARE(triggered.count(), 1);

    // Four, a pause longer than the interval, one more: the series starts again.
    for (int i = 0; i < 4; ++i)
        press(Qt::AltModifier);
    QTest::qWait(350);
    press(Qt::AltModifier);
    QCOMPARE(triggered.count(), 1);
    for (int i = 0; i < 4; ++i)
        press(Qt::AltModifier);
    QCOMPARE(triggered.count(), 2);
}

void TestSharedWidgets::placeholderFloatsAndReturns()
{
    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    // Away from the pointer, which would hover the field.
    window.resize(300, 200);
    field->move(100, 60);
    other->move(100, 120);
    QCursor::setPos(window.mapToGlobal(QPoint(5, 5)));
    auto* overlay = PermanentPlaceholderOverlay::create(QStringLiteral("Username"), field);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QVERIFY(overlay->isRestingEmpty());

    // Text set by code floats the label up, focus or not.
    field->setText(QStringLiteral("someone"));
    QVERIFY(!overlay->isRestingEmpty());
    QTRY_COMPARE(overlay->pos(), QPoint(0, 0));
    QTRY_COMPARE(overlay->currentFontSize(), 10);
    // Cleared without focus: it stays a caption until the field loses the focus while empty.
    field->clear();
    QVERIFY(!overlay->isRestingEmpty());
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    other->setFocus();
    QTRY_VERIFY(overlay->isRestingEmpty());
    QTRY_COMPARE(overlay->pos(), QPoint(0, 9));
    // The field still gets its clicks.
    QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, overlay->geometry().center());
    QTRY_VERIFY(field->hasFocus());
}

QTEST_MAIN(TestSharedWidgets)
#include "tst_sharedwidgets.moc"
