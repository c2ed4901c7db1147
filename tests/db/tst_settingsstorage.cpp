#include "db/SettingsStorage.h"
#include "tests/support/TestEnv.h"

#include <QSettings>
#include <QtTest>

// Views of two kinds, as the meta-object system names them.
class ListView : public QObject
{
    Q_OBJECT
};

class TreeView : public QObject
{
    Q_OBJECT
};

class TestSettingsStorage : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_env.reset(new TestEnv);
        m_settings.reset(new QSettings(settingsPath(), QSettings::IniFormat));
    }
    void cleanup()
    {
        m_settings.reset();
        m_env.reset();
    }
    void stateKey()
    {
        ListView named;
        TreeView otherClass;
        named.setObjectName("%1%2");
        QCOMPARE(SettingsStorage::stateKey(&named), QStringLiteral("ListView:%1%2"));
        QCOMPARE(SettingsStorage::stateKey(&otherClass), QStringLiteral("TreeView:"));
        // Objects of one class and name share their state; another class does not.
        SettingsStorage storage(m_settings.data(), nullptr);
        ListView first, second;
        first.setObjectName("list");
        second.setObjectName("list");
        otherClass.setObjectName("list");
        storage.storeState(&first, QVariantMap{{"x", 1}}, 0);
        QCOMPARE(storage.restoreState(&second), (QVariantMap{{"x", 1}}));
        QCOMPARE(storage.restoreState(&otherClass), QVariantMap());
    }

    void flags_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("readTwice");
        QTest::addColumn<bool>("afterRestart");
        QTest::newRow("memory") << 0 << true << false;
        QTest::newRow("memory, read once") << int(Storage::RemoveOnRestore) << false << false;
        QTest::newRow("persistent") << int(Storage::Persistent) << true << true;
        QTest::newRow("persistent, read once") << int(Storage::Persistent | Storage::RemoveOnRestore) << false << false;
    }

    void flags()
    {
        QFETCH(int, flags);
        QFETCH(bool, readTwice);
        QFETCH(bool, afterRestart);
        ListView view;
        view.setObjectName("passwords");
        const QVariantMap values{{"sortColumn", 2}, {"header", QByteArray("\x01\x02")}};
        {
            SettingsStorage storage(m_settings.data(), nullptr);
            storage.storeState(&view, values, flags);
            // Written and flushed at once, or not written at all.
            QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value("state/ListView:passwords/sortColumn").toInt(),
                     flags & Storage::Persistent ? 2 : 0);
            QCOMPARE(storage.restoreState(&view), values);
            QCOMPARE(storage.restoreState(&view), readTwice ? values : QVariantMap());
        }
        SettingsStorage restarted(m_settings.data(), nullptr);
        QCOMPARE(restarted.restoreState(&view), afterRestart ? values : QVariantMap());
    }

    void memoryComesBeforeStore()
    {
        SettingsStorage storage(m_settings.data(), nullptr);
        ListView view;
        storage.storeState(&view, QVariantMap{{"v", "memory"}}, 0);
        storage.storeState(&view, QVariantMap{{"v", "stored"}}, Storage::Persistent);
        QCOMPARE(storage.restoreState(&view), (QVariantMap{{"v", "memory"}}));
        storage.removeState(&view);
        QCOMPARE(storage.restoreState(&view), (QVariantMap{{"v", "stored"}}));
        QCOMPARE(m_settings->value("state/ListView:/v").toString(), QStringLiteral("stored"));
    }

    void contextChangeClearsBoundStates()
    {
        SettingsStorage storage(m_settings.data(), nullptr);
        Storage &base = storage;
        ListView bound;
        TreeView free;
        base.setContext(1, "alice");
        storage.storeState(&bound, QVariantMap{{"model", 1}}, Storage::ContextBound | Storage::RemoveOnRestore);
        storage.storeState(&free, QVariantMap{{"width", 2}}, 0);

        base.setContext(1, "alice");                                                  // the same context changes nothing
        storage.storeState(&bound, QVariantMap{{"model", 1}}, Storage::ContextBound); // readable twice now
        QCOMPARE(storage.restoreState(&bound), (QVariantMap{{"model", 1}}));
        QCOMPARE(storage.restoreState(&bound), (QVariantMap{{"model", 1}}));

        base.setContext(2, "alice"); // another server
        QCOMPARE(storage.restoreState(&bound), QVariantMap());
        QCOMPARE(storage.restoreState(&free), (QVariantMap{{"width", 2}}));
        QCOMPARE(base.contextId(), 2);

        // Another account; a bound state in the store goes from there too.
        storage.storeState(&bound, QVariantMap{{"a", 1}, {"b", 2}}, Storage::Persistent | Storage::ContextBound);
        base.setContext(2, "bob");
        QCOMPARE(base.context(), QStringLiteral("bob"));
        QVERIFY(!m_settings->contains("state/ListView:/a") && !m_settings->contains("state/ListView:/b"));
        QCOMPARE(storage.restoreState(&bound), QVariantMap());
    }
private:
    QString settingsPath() const { return m_env->home() + "/settings.ini"; }
    QScopedPointer<TestEnv> m_env;
    QScopedPointer<QSettings> m_settings;
};

QTEST_GUILESS_MAIN(TestSettingsStorage)
#include "tst_settingsstorage.moc"
