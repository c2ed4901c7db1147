#include "core/MessageHandler.h"
#include "core/Startup.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QPointer>
#include <QSettings>
#include <QtTest>

#include <memory>

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
        QTest::newRow("trailing blank") << QStringList{"-oop "} << false;
        QTest::newRow("double dash") << QStringList{"--oop"} << false;
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
        for (const char *other : {"error", " ERROR", "DEBUG", "2"})
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
        QVERIFY(box);
        std::unique_ptr<QMessageBox> owner(box.data());
        QVERIFY(box->isVisible() && !box->parent() && !box->isModal());
        QTRY_VERIFY_WITH_TIMEOUT(!box->isVisible(), 5000);
        // Hidden, not deleted.
        QVERIFY(box);
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
