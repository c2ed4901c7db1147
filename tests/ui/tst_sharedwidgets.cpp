// Space and attention icons, the Alt-click gesture, the floating placeholder and the shared
// percentage of the progress displays.
#include "platform/KeyboardState.h"
#include "ui/FeaturesUtil.h"
#include "ui/PermanentPlaceholderOverlay.h"
#include "ui/SpaceIcons.h"
#include "ui/SyncPercent.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

class TestSharedWidgets : public QObject
{
    Q_OBJECT

private slots:
    void spacePixmaps_data();
    void spacePixmaps();
    void syncingFrames();
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

void TestSharedWidgets::spacePixmaps_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("autoSync");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("file");
    QTest::newRow("private small") << "PRIVATE" << false << 0 << ":/res/space/privatesafe_small.png";
    QTest::newRow("private autosync medium") << "PRIVATE" << true << 1 << ":/res/space/privatesafe_autosync.png";
    QTest::newRow("private autosync large") << "PRIVATE" << true << 2 << ":/res/space/privatesafe_large.png";
    QTest::newRow("team medium") << "TEAMSAFE" << false << 1 << ":/res/space/teamspace_medium.png";
    QTest::newRow("inbox large") << "INBOX" << false << 2 << ":/res/space/inbox_large.png";
    QTest::newRow("mail-in small") << "MAIL_IN" << true << 0 << ":/res/space/mailin_small.png";
    QTest::newRow("unknown medium") << "SHARED" << false << 1 << ":/res/tabs/attention_icon_30x30.png";
    QTest::newRow("lower case is unknown") << "private" << false << 0 << ":/res/tabs/attention_icon_20x20.png";
    QTest::newRow("size out of range") << "PRIVATE" << false << 5 << "";
    QTest::newRow("unknown, size out of range") << "SHARED" << false << 5 << "";
}

void TestSharedWidgets::spacePixmaps()
{
    QFETCH(QString, type);
    QFETCH(bool, autoSync);
    QFETCH(int, size);
    QFETCH(QString, file);
    const QPixmap pixmap = spacePixmap(type, autoSync, size);
    if (file.isEmpty()) {
        QVERIFY(pixmap.isNull());
        return;
    }
    const QPixmap expected(file);
    QVERIFY2(!expected.isNull(), qPrintable(file));
    QCOMPARE(pixmap.toImage(), expected.toImage());
}

void TestSharedWidgets::syncingFrames()
{
    const QList<QPixmap> frames = spaceSyncingPixmaps(QStringLiteral("INBOX"));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(1).toImage(), QPixmap(QStringLiteral(":/res/space/inbox_syncing_2.png")).toImage());
    QVERIFY(frames.at(0).toImage() != frames.at(1).toImage());
    const QList<QPixmap> unknown = spaceSyncingPixmaps(QStringLiteral("OTHER"));
    QCOMPARE(unknown.size(), 1);
    QCOMPARE(unknown.first().size(), QSize(30, 30));
}

void TestSharedWidgets::percent_data()
{
    QTest::addColumn<int>("executed");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("percent");
    QTest::newRow("1 of 3") << 1 << 3 << 33;
    QTest::newRow("2 of 3") << 2 << 3 << 66;
    QTest::newRow("1 of 6") << 1 << 6 << 16;
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
    QTRY_COMPARE(overlay->styleSheet(), QStringLiteral("color: rgb(102, 102, 102);font-size: 12px;"));

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
    QCOMPARE(overlay->currentColor(), QColor(34, 130, 185));
    other->setFocus();
    QTRY_VERIFY(overlay->isRestingEmpty());
    QTRY_COMPARE(overlay->pos(), QPoint(0, 9));
    QCOMPARE(overlay->currentColor(), QColor(102, 102, 102));
    // The field still gets its clicks.
    QTest::mouseClick(field, Qt::LeftButton, Qt::NoModifier, overlay->geometry().center());
    QTRY_VERIFY(field->hasFocus());
}

QTEST_MAIN(TestSharedWidgets)
#include "tst_sharedwidgets.moc"
