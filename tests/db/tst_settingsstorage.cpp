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
    void init();
    void cleanup();
    void objectKey();
    void inMemoryRestoresRepeatedly();
    void removeOnRestoreReadsOnce_data();
    void removeOnRestoreReadsOnce();
    void contextChangeClearsBoundStates();
    void persistentSurvivesRestart();
    void cacheIsConsultedFirst();
    void removeStateRemovesOnlyMemory();
    void sameNameSharesState();
    void persistentBoundStateClearedFromStore();

private:
    QString settingsPath() const { return m_env->home() + "/settings.ini"; }
    TestEnv *m_env = nullptr;
    QSettings *m_settings = nullptr;
};

void TestSettingsStorage::init()
{
    m_env = new TestEnv;
    m_settings = new QSettings(settingsPath(), QSettings::IniFormat);
}

void TestSettingsStorage::cleanup()
{
    delete m_settings;
    delete m_env;
}

void TestSettingsStorage::objectKey()
{
    ListView named;
    named.setObjectName("passwords");
    QCOMPARE(SettingsStorage::stateKey(&named), QStringLiteral("ListView:passwords"));
    ListView unnamed;
    QCOMPARE(SettingsStorage::stateKey(&unnamed), QStringLiteral("ListView:"));
    ListView percent;
    percent.setObjectName("%1%2");
    QCOMPARE(SettingsStorage::stateKey(&percent), QStringLiteral("ListView:%1%2"));
}

void TestSettingsStorage::inMemoryRestoresRepeatedly()
{
    SettingsStorage storage(m_settings, nullptr);
    ListView view;
    const QVariantMap values{{"column", 3}, {"filter", "abc"}};
    storage.storeState(&view, values, 0);
    QCOMPARE(storage.restoreState(&view), values);
    QCOMPARE(storage.restoreState(&view), values);
    QVERIFY(m_settings->allKeys().isEmpty());
    // A new map replaces the old one as a whole.
    storage.storeState(&view, QVariantMap{{"column", 4}}, 0);
    QCOMPARE(storage.restoreState(&view), (QVariantMap{{"column", 4}}));
}

void TestSettingsStorage::removeOnRestoreReadsOnce_data()
{
    QTest::addColumn<int>("flags");
    QTest::newRow("memory") << int(Storage::RemoveOnRestore);
    QTest::newRow("persistent") << int(Storage::RemoveOnRestore | Storage::Persistent);
}

void TestSettingsStorage::removeOnRestoreReadsOnce()
{
    QFETCH(int, flags);
    SettingsStorage storage(m_settings, nullptr);
    ListView view;
    const QVariantMap values{{"model", QStringList{"a", "b"}}};
    storage.storeState(&view, values, flags);
    QCOMPARE(storage.restoreState(&view), values);
    QCOMPARE(storage.restoreState(&view), QVariantMap());
}

void TestSettingsStorage::contextChangeClearsBoundStates()
{
    SettingsStorage storage(m_settings, nullptr);
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

    storage.storeState(&bound, QVariantMap{{"model", 5}}, Storage::ContextBound);
    base.setContext(2, "bob"); // another account
    QCOMPARE(storage.restoreState(&bound), QVariantMap());
    QCOMPARE(base.context(), QStringLiteral("bob"));
}

void TestSettingsStorage::persistentSurvivesRestart()
{
    ListView view;
    view.setObjectName("passwords");
    {
        SettingsStorage storage(m_settings, nullptr);
        storage.storeState(&view, QVariantMap{{"sortColumn", 2}, {"header", QByteArray("\x01\x02")}},
                           Storage::Persistent);
    }
    // Written and flushed: another settings object on the same file sees it at once.
    QSettings other(settingsPath(), QSettings::IniFormat);
    QCOMPARE(other.value("state/ListView:passwords/sortColumn").toInt(), 2);

    SettingsStorage restarted(m_settings, nullptr);
    const QVariantMap restored = restarted.restoreState(&view);
    QCOMPARE(restored.value("sortColumn").toInt(), 2);
    QCOMPARE(restored.value("header").toByteArray(), QByteArray("\x01\x02"));
}

void TestSettingsStorage::cacheIsConsultedFirst()
{
    SettingsStorage storage(m_settings, nullptr);
    ListView view;
    storage.storeState(&view, QVariantMap{{"v", "memory"}}, 0);
    storage.storeState(&view, QVariantMap{{"v", "stored"}}, Storage::Persistent);
    QCOMPARE(storage.restoreState(&view), (QVariantMap{{"v", "memory"}}));
}

void TestSettingsStorage::removeStateRemovesOnlyMemory()
{
    SettingsStorage storage(m_settings, nullptr);
    ListView view;
    storage.storeState(&view, QVariantMap{{"v", "stored"}}, Storage::Persistent);
    storage.storeState(&view, QVariantMap{{"v", "memory"}}, 0);
    storage.removeState(&view);
    QCOMPARE(storage.restoreState(&view), (QVariantMap{{"v", "stored"}}));
    QCOMPARE(m_settings->value("state/ListView:/v").toString(), QStringLiteral("stored"));
}

void TestSettingsStorage::sameNameSharesState()
{
    SettingsStorage storage(m_settings, nullptr);
    ListView first;
    first.setObjectName("list");
    ListView second;
    second.setObjectName("list");
    TreeView otherClass;
    otherClass.setObjectName("list");
    storage.storeState(&first, QVariantMap{{"x", 1}}, 0);
    QCOMPARE(storage.restoreState(&second), (QVariantMap{{"x", 1}}));
    QCOMPARE(storage.restoreState(&otherClass), QVariantMap());
}

void TestSettingsStorage::persistentBoundStateClearedFromStore()
{
    SettingsStorage storage(m_settings, nullptr);
    Storage &base = storage;
    ListView view;
    base.setContext(7, "alice");
    storage.storeState(&view, QVariantMap{{"a", 1}, {"b", 2}}, Storage::Persistent | Storage::ContextBound);
    base.setContext(7, "bob");
    QVERIFY(!m_settings->contains("state/ListView:/a"));
    QVERIFY(!m_settings->contains("state/ListView:/b"));
    QCOMPARE(storage.restoreState(&view), QVariantMap());
}

QTEST_GUILESS_MAIN(TestSettingsStorage)
#include "tst_settingsstorage.moc"
