#include "core/AppInfo.h"
#include "net/FilesafeRI.h"
#include "net/LoginRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/UserCredUtil.h"
#include "tests/support/DevService.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

// Collects the one outcome of a call.
template<typename T>
struct Outcome
{
    int calls = 0;
    Result<T> result;
    ResultCallback<T> callback()
    {
        return [this](const Result<T> &r) {
            ++calls;
            result = r;
        };
    }
};

static QByteArray pattern(int size, int seed)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 7;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = char(x >> 24);
    }
    return data;
}

static bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Everything in a folder, hidden names ("~$...") included.
static QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class TestFilesafeRI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void safeListSorted();
    void pathsOfBothGenerations();
    void listingDepthAndType_data();
    void listingDepthAndType();
    void listingPathHeaderEncoded();
    void listingWithParentElementRefused();
    void createDirHeaders();
    void deleteModes_data();
    void deleteModes();
    void emptyIdsSendNothing();
    void downloadByteExact();
    void downloadBadIv_data();
    void downloadBadIv();
    void downloadSizeMismatchKeepsTarget();
    void downloadWrongKeyFails();
    void downloadMissingObject();
    void downloadUnavailable();
    void downloadOverFolderFails();
    void uploadNewFileAndVersion();
    void uploadEmptyFile();
    void uploadQuota();
    void uploadGrowingFile();
    void uploadUnreadable_data();
    void uploadUnreadable();
    void uploadThroughSession();

private:
    bool signIn();
    QJsonObject safeNamed(const QString &name);
    QJsonObject objectAt(const QJsonObject &safe, const QString &path);
    QJsonArray requestsTo(const QString &pathPattern);

    TestEnv *m_env = nullptr;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    FilesafeRI *m_ri = nullptr;
    QTemporaryDir m_dir;
};

void TestFilesafeRI::initTestCase()
{
    m_env = new TestEnv;
    QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
    m_info.apiGeneration = 1;
    R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
    m_ri = new FilesafeRI(&m_info, R7Session::instance(), this);
}

void TestFilesafeRI::cleanupTestCase()
{
    delete m_ri;
    m_svc.stop();
    delete m_env;
}

bool TestFilesafeRI::signIn()
{
    // Each test starts from a fresh service session.
    R7Session::instance()->setLoggedIn(false);
    R7Session::instance()->resetSession();
    UserCredUtil creds(&m_info);
    LoginRI login(&creds, &m_info, R7Session::instance());
    bool done = false;
    EmptyResult outcome;
    login.doLogin(DevService::demoUser(), DevService::demoPassword(), false, [&](const EmptyResult &r) {
        outcome = r;
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (!outcome.isOk()) {
        qWarning("sign-in failed: %d %s", outcome.code(), qPrintable(outcome.message()));
    }
    return done && outcome.isOk();
}

void TestFilesafeRI::init()
{
    QVERIFY(m_svc.reset());
    QVERIFY(signIn());
    m_svc.requests(true);
    for (const QString &name : entries(m_dir.path())) {
        QFileInfo info(m_dir.filePath(name));
        if (info.isDir()) {
            QDir(info.filePath()).removeRecursively();
        } else {
            QFile::remove(info.filePath());
        }
    }
}

QJsonObject TestFilesafeRI::safeNamed(const QString &name)
{
    for (const QJsonValue &v : m_svc.state().value("safes").toArray()) {
        if (v.toObject().value("safe_name").toString() == name && v.toObject().value("owner").toString() == "demo") {
            return v.toObject();
        }
    }
    return {};
}

QJsonObject TestFilesafeRI::objectAt(const QJsonObject &safe, const QString &path)
{
    for (const QJsonValue &v : safe.value("objects").toArray()) {
        if (v.toObject().value("path").toString() == path) {
            return v.toObject();
        }
    }
    return {};
}

QJsonArray TestFilesafeRI::requestsTo(const QString &pathPattern)
{
    const QRegularExpression re(pathPattern);
    QJsonArray out;
    for (const QJsonValue &v : m_svc.requests()) {
        if (re.match(v.toObject().value("path").toString()).hasMatch()) {
            out.append(v);
        }
    }
    return out;
}

void TestFilesafeRI::safeListSorted()
{
    Outcome<FilesafesTO_v2> out;
    m_ri->getFilesafes(out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QStringList order;
    for (const FilesafeTO_v2 &s : out.result.payload().filesafes) {
        order << s.type + ":" + s.name;
    }
    QCOMPARE(order, (QStringList{"PRIVATE:Private", "TEAMSAFE:Team Alpha", "MAIL_IN:Mail-in", "INBOX:Inbox"}));
    const FilesafeTO_v2 &priv = out.result.payload().filesafes.first();
    QCOMPARE(priv.safeId, safeNamed("Private").value("safe_id").toString());
    QCOMPARE(priv.rootFolderId, safeNamed("Private").value("root_folder_id").toString());
    QVERIFY(priv.hasTrash);
    QCOMPARE(out.result.payload().accessOf(safeNamed("Inbox").value("safe_id").toString()), QString("r"));
    QCOMPARE(requestsTo("^/rest/loggedin/3/filesafe/info$").size(), 1);
}

void TestFilesafeRI::pathsOfBothGenerations()
{
    QCOMPARE(m_ri->basePath(), QString("/rest/loggedin/3/filesafe/"));
    AppInfo newer = m_info;
    newer.apiGeneration = 2;
    FilesafeRI ri(&newer, R7Session::instance());
    QCOMPARE(ri.basePath(), QString("/api/sync/1/files/"));
    Outcome<FilesafesTO_v2> out;
    ri.getFilesafes(out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QCOMPARE(out.result.payload().filesafes.size(), 4);
    QCOMPARE(requestsTo("^/api/sync/1/files/info$").size(), 1);
}

void TestFilesafeRI::listingDepthAndType_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("all below the top") << "/" << 0 << "any" << QStringList{"/",
                                                                           "/Documents",
                                                                           "/Documents/Letters",
                                                                           "/Documents/Letters/landlord.txt",
                                                                           "/Documents/notes.md",
                                                                           "/Photos",
                                                                           "/Photos/README.txt",
                                                                           "/todo.txt"};
    QTest::newRow("folders for a picker")
            << "/" << 0 << "d" << QStringList{"/", "/Documents", "/Documents/Letters", "/Photos"};
    QTest::newRow("one level of files") << "/" << 1 << "f" << QStringList{"/todo.txt"};
    QTest::newRow("below a folder") << "/Documents" << 0 << "any"
                                    << QStringList{"/Documents", "/Documents/Letters",
                                                   "/Documents/Letters/landlord.txt", "/Documents/notes.md"};
}

void TestFilesafeRI::listingDepthAndType()
{
    QFETCH(QString, path);
    QFETCH(int, depth);
    QFETCH(QString, type);
    QFETCH(QStringList, expected);
    const QJsonObject safe = safeNamed("Private");
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->getObjects(safe.value("safe_id").toString(), path, depth, type, out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QStringList paths;
    for (const FilesafeObject &o : out.result.payload().filesafeObjects) {
        paths << o.path;
        const QJsonObject known = objectAt(safe, o.path);
        QCOMPARE(o.objectId, known.value("object_id").toString());
        QCOMPARE(o.type, known.value("type").toString());
        QCOMPARE(o.size, qint64(known.value("size").toDouble()));
        QCOMPARE(o.checksum, known.value("checksum").toString());
    }
    QCOMPARE(paths, expected);
    const QJsonArray log = requestsTo("/info/");
    QCOMPARE(log.size(), 1);
    const QJsonObject query = log.first().toObject().value("query").toObject();
    QCOMPARE(query.value("depth").toString(), QString::number(depth));
    QCOMPARE(query.value("type").toString(), type);
}

void TestFilesafeRI::listingPathHeaderEncoded()
{
    const QJsonObject safe = safeNamed("Private");
    const QString folder = QString("/Mein Ordner/%1 & a+b").arg(QString::fromUtf8("Grüße"));
    m_svc.control("object", {{"safe_id", safe.value("safe_id")}, {"path", folder}, {"type", "d"}});
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->getObjects(safe.value("safe_id").toString(), folder, 0, "any", out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QCOMPARE(out.result.payload().filesafeObjects.size(), 1);
    QCOMPARE(out.result.payload().filesafeObjects.first().path, folder);
    const QString header =
            requestsTo("/info/").first().toObject().value("headers").toObject().value("X-Object-Path").toString();
    QCOMPARE(header, QString("%2FMein%20Ordner%2FGr%C3%BC%C3%9Fe%20%26%20a%2Bb"));
}

void TestFilesafeRI::listingWithParentElementRefused()
{
    m_svc.fault({{"path", "/info/"}, {"listing", "dotdot"}});
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->getObjects(safeNamed("Private").value("safe_id").toString(), "/Documents", 0, "any", out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_BAD_RESPONSE);
    QVERIFY2(out.result.message().startsWith("Response data: "), qPrintable(out.result.message()));
    QVERIFY(out.result.message().contains("'path'"));
    QVERIFY(out.result.payload().filesafeObjects.isEmpty());
}

void TestFilesafeRI::createDirHeaders()
{
    const QJsonObject safe = safeNamed("Private");
    const QString parentId = objectAt(safe, "/Documents").value("object_id").toString();
    const QString name = QString::fromUtf8("Neu / Ärger 50%");
    // "/" inside a name is the service's to refuse; take a name it accepts and check the encoding.
    const QString accepted = QString::fromUtf8("Neu Ärger 50%");
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->createDir(parentId, accepted, out.callback());
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QCOMPARE(out.result.payload().filesafeObjects.size(), 1);
    QCOMPARE(out.result.payload().filesafeObjects.first().path, "/Documents/" + accepted);
    QCOMPARE(out.result.payload().filesafeObjects.first().type, QString("d"));
    QVERIFY(!objectAt(safeNamed("Private"), "/Documents/" + accepted).isEmpty());
    const QJsonObject logged = requestsTo("/filesafe/folder$").first().toObject();
    QCOMPARE(logged.value("method").toString(), QString("POST"));
    const QJsonObject headers = logged.value("headers").toObject();
    QCOMPARE(headers.value("X-Foldername").toString(), QString("Neu%20%C3%84rger%2050%25"));
    QCOMPARE(headers.value("X-Destination").toString(), parentId);
    QVERIFY(headers.value("Content-Type").toString().startsWith("text/plain; charset=UTF-8"));

    // The name travels encoded, so a "/" in it cannot become a path for the service.
    Outcome<FilesafeObjectsTO_v2> slash;
    m_ri->createDir(parentId, name, slash.callback());
    QTRY_COMPARE_WITH_TIMEOUT(slash.calls, 1, 10000);
    QCOMPARE(slash.result.code(), EC_SERVICE_STATUS);
    QCOMPARE(requestsTo("/filesafe/folder$")
                     .last()
                     .toObject()
                     .value("headers")
                     .toObject()
                     .value("X-Foldername")
                     .toString(),
             QString("Neu%20%2F%20%C3%84rger%2050%25"));

    // Arguments in the other order name a destination that does not exist.
    Outcome<FilesafeObjectsTO_v2> swapped;
    m_ri->createDir("Other", parentId, swapped.callback());
    QTRY_COMPARE_WITH_TIMEOUT(swapped.calls, 1, 10000);
    QCOMPARE(swapped.result.code(), EC_SERVICE_STATUS_10911);
}

void TestFilesafeRI::deleteModes_data()
{
    QTest::addColumn<QString>("safeName");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("hasTrash");
    QTest::addColumn<QString>("mode");
    QTest::newRow("file into its safe's trash") << "Private"
                                                << "/todo.txt" << false << true << "trash";
    QTest::newRow("folder into its safe's trash") << "Private"
                                                  << "/Documents" << true << true << "trash";
    QTest::newRow("file into the private trash") << "Team Alpha"
                                                 << "/Shared notes.txt" << false << false << "trashToPrivate";
    QTest::newRow("folder into the private trash") << "Team Alpha"
                                                   << "/Projects" << true << false << "trashToPrivate";
}

void TestFilesafeRI::deleteModes()
{
    QFETCH(QString, safeName);
    QFETCH(QString, path);
    QFETCH(bool, folder);
    QFETCH(bool, hasTrash);
    QFETCH(QString, mode);
    const QString id = objectAt(safeNamed(safeName), path).value("object_id").toString();
    QVERIFY(!id.isEmpty());
    Outcome<Nothing> out;
    if (folder) {
        m_ri->deleteDir(id, hasTrash, out.callback());
    } else {
        m_ri->deleteFile(id, hasTrash, out.callback());
    }
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    const QJsonObject logged = requestsTo(folder ? "/folder/" : "/file/").first().toObject();
    QCOMPARE(logged.value("method").toString(), QString("DELETE"));
    QCOMPARE(logged.value("path").toString(),
             QString("/rest/loggedin/3/filesafe/%1/%2").arg(folder ? "folder" : "file", id));
    QCOMPARE(logged.value("query").toObject().value("mode").toString(), mode);
    QVERIFY(objectAt(safeNamed(safeName), path).isEmpty());
    const QJsonArray trash = safeNamed("Private").value("trash").toArray();
    QCOMPARE(trash.size(), 1);
    QCOMPARE(trash.first().toObject().value("path").toString(), path);
    QCOMPARE(trash.first().toObject().value("mode").toString(), mode);
}

void TestFilesafeRI::emptyIdsSendNothing()
{
    Outcome<Nothing> del;
    m_ri->deleteFile(QString(), true, del.callback());
    Outcome<Nothing> delDir;
    m_ri->deleteDir(QString(), false, delDir.callback());
    Outcome<qint64> down;
    m_ri->downloadFile(QString(), m_dir.filePath("x"), 1, down.callback(), nullptr);
    Outcome<FilesafeObjectsTO_v2> list;
    m_ri->getObjects(QString(), "/", 0, "any", list.callback());
    QCOMPARE(del.calls, 1);
    QCOMPARE(delDir.calls, 1);
    QCOMPARE(down.calls, 1);
    QCOMPARE(list.calls, 1);
    QCOMPARE(del.result.code(), EC_BAD_URL);
    QCOMPARE(down.result.code(), EC_BAD_URL);
    QCOMPARE(m_svc.requests().size(), 0);
    QVERIFY(entries(m_dir.path()).isEmpty());
}

void TestFilesafeRI::downloadByteExact()
{
    // A file of several network chunks, replacing an older local copy.
    const QJsonObject safe = safeNamed("Private");
    const QByteArray content = pattern(3 * 1024 * 1024 + 7, 1);
    const QJsonObject made = m_svc.control("object", {{"safe_id", safe.value("safe_id")},
                                                      {"path", "/big.bin"},
                                                      {"content_b64", QString::fromLatin1(content.toBase64())}});
    const QString id = made.value("object").toObject().value("object_id").toString();
    const QString dest = m_dir.filePath("big.bin");
    QVERIFY(writeFile(dest, "old"));
    Outcome<qint64> out;
    QList<QPair<qint64, qint64>> progress;
    m_ri->downloadFile(id, dest, content.size(), out.callback(), [&progress](qint64 done, qint64 total) {
        progress.append({done, total});
    });
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 15000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QCOMPARE(out.result.payload(), qint64(content.size()));
    QCOMPARE(readFile(dest), content);
    QCOMPARE(entries(m_dir.path()), QStringList{"big.bin"});
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().first, qint64((content.size() / 16 + 1) * 16));

    // A small demo file, and a file of no bytes.
    const QString small = m_dir.filePath("todo.txt");
    Outcome<qint64> second;
    m_ri->downloadFile(objectAt(safe, "/todo.txt").value("object_id").toString(), small,
                       qint64(objectAt(safe, "/todo.txt").value("size").toDouble()), second.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(second.calls, 1, 10000);
    QVERIFY2(second.result.isOk(), qPrintable(second.result.message()));
    QCOMPARE(readFile(small), QByteArray("1. sync\n2. relax\n"));

    const QJsonObject empty = m_svc.control("object", {{"safe_id", safe.value("safe_id")}, {"path", "/empty.txt"}});
    Outcome<qint64> third;
    m_ri->downloadFile(empty.value("object").toObject().value("object_id").toString(), m_dir.filePath("empty.txt"), 0,
                       third.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(third.calls, 1, 10000);
    QVERIFY2(third.result.isOk(), qPrintable(third.result.message()));
    QCOMPARE(third.result.payload(), qint64(0));
    QVERIFY(QFile::exists(m_dir.filePath("empty.txt")));
}

void TestFilesafeRI::downloadBadIv_data()
{
    QTest::addColumn<QString>("iv");
    QTest::newRow("missing") << "missing";
    QTest::newRow("short") << "malformed";
}

void TestFilesafeRI::downloadBadIv()
{
    QFETCH(QString, iv);
    m_svc.fault({{"path", "/file/"}, {"iv", iv}});
    const QJsonObject safe = safeNamed("Private");
    const QString dest = m_dir.filePath("notes.md");
    QVERIFY(writeFile(dest, "mine"));
    Outcome<qint64> out;
    m_ri->downloadFile(objectAt(safe, "/Documents/notes.md").value("object_id").toString(), dest, 36, out.callback(),
                       nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_CLIENT);
    QCOMPARE(out.result.message(), QString("Aborted: Unable to initiate download file decryption"));
    QCOMPARE(readFile(dest), QByteArray("mine"));
    QTRY_COMPARE(entries(m_dir.path()), QStringList{"notes.md"});
}

void TestFilesafeRI::downloadSizeMismatchKeepsTarget()
{
    const QJsonObject safe = safeNamed("Private");
    const QJsonObject todo = objectAt(safe, "/todo.txt");
    const qint64 size = qint64(todo.value("size").toDouble());
    const QString dest = m_dir.filePath("todo.txt");
    QVERIFY(writeFile(dest, "my old list"));
    Outcome<qint64> out;
    m_ri->downloadFile(todo.value("object_id").toString(), dest, size + 1, out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_CLIENT);
    QCOMPARE(out.result.message(),
             QString("Download size mismatch (expected: %1, received: %2)").arg(size + 1).arg(size));
    QCOMPARE(readFile(dest), QByteArray("my old list"));
    QTRY_COMPARE(entries(m_dir.path()), QStringList{"todo.txt"});
}

void TestFilesafeRI::downloadWrongKeyFails()
{
    // Another key garbles every block: the padding check (or, rarely, the size) fails.
    R7Session *session = R7Session::instance();
    const QString key = session->transportKey();
    session->setTransportKey(QString(64, QLatin1Char('7')));
    const QJsonObject safe = safeNamed("Private");
    const QJsonObject notes = objectAt(safe, "/Documents/notes.md");
    const QString dest = m_dir.filePath("notes.md");
    QVERIFY(writeFile(dest, "mine"));
    Outcome<qint64> out;
    m_ri->downloadFile(notes.value("object_id").toString(), dest, qint64(notes.value("size").toDouble()),
                       out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    session->setTransportKey(key);
    QCOMPARE(out.result.code(), EC_CLIENT);
    QVERIFY2(out.result.message() == "Bad padding" || out.result.message().startsWith("Download size mismatch"),
             qPrintable(out.result.message()));
    QCOMPARE(readFile(dest), QByteArray("mine"));
    QTRY_COMPARE(entries(m_dir.path()), QStringList{"notes.md"});
}

void TestFilesafeRI::downloadMissingObject()
{
    const QString dest = m_dir.filePath("gone.txt");
    QVERIFY(writeFile(dest, "keep"));
    m_svc.fault({{"path", "/file/"}, {"http_status", 404}});
    Outcome<qint64> out;
    m_ri->downloadFile(objectAt(safeNamed("Private"), "/todo.txt").value("object_id").toString(), dest, 10,
                       out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_NETWORK);
    QCOMPARE(readFile(dest), QByteArray("keep"));
    QTRY_COMPARE(entries(m_dir.path()), QStringList{"gone.txt"});
}

void TestFilesafeRI::downloadUnavailable()
{
    m_svc.fault({{"path", "/file/"}, {"http_status", 503}});
    Outcome<qint64> out;
    m_ri->downloadFile(objectAt(safeNamed("Private"), "/todo.txt").value("object_id").toString(),
                       m_dir.filePath("todo.txt"), 17, out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_SERVICE_UNAVAILABLE);
    QTRY_VERIFY(entries(m_dir.path()).isEmpty());
}

void TestFilesafeRI::downloadOverFolderFails()
{
    // A destination that cannot be replaced reports the failure; it and its contents stay.
    const QString dest = m_dir.filePath("todo.txt");
    QVERIFY(QDir(m_dir.path()).mkdir("todo.txt"));
    QVERIFY(writeFile(dest + "/inside", "x"));
    Outcome<qint64> out;
    const QJsonObject todo = objectAt(safeNamed("Private"), "/todo.txt");
    m_ri->downloadFile(todo.value("object_id").toString(), dest, qint64(todo.value("size").toDouble()), out.callback(),
                       nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_CLIENT);
    QCOMPARE(out.result.message(), QString("Could not override file. File '%1' seems to be open.").arg(dest));
    QCOMPARE(readFile(dest + "/inside"), QByteArray("x"));
    QTRY_COMPARE(entries(m_dir.path()), QStringList{"todo.txt"});
}

void TestFilesafeRI::uploadNewFileAndVersion()
{
    const QJsonObject safe = safeNamed("Private");
    const QString folderId = objectAt(safe, "/Documents").value("object_id").toString();
    const QString local = m_dir.filePath(QString::fromUtf8("Bericht 2026 – Entwurf.bin"));
    const QByteArray content = pattern(200 * 1024 + 3, 2);
    QVERIFY(writeFile(local, content));
    Outcome<FilesafeObjectsTO_v2> out;
    qint64 lastDone = 0, lastTotal = 0;
    m_ri->sendRemoteFileAction(QString(), local, folderId, out.callback(), [&](qint64 done, qint64 total) {
        // Qt closes with a (0, 0) report after the body; keep the last real one.
        if (total > 0) {
            lastDone = done;
            lastTotal = total;
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 15000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    const QString remotePath = QString::fromUtf8("/Documents/Bericht 2026 – Entwurf.bin");
    QCOMPARE(out.result.payload().filesafeObjects.size(), 1);
    QCOMPARE(out.result.payload().filesafeObjects.first().path, remotePath);
    const QJsonObject stored = objectAt(safeNamed("Private"), remotePath);
    QCOMPARE(QByteArray::fromBase64(stored.value("content_b64").toString().toLatin1()), content);
    const qint64 cipherSize = (content.size() / 16 + 1) * 16;
    QCOMPARE(lastDone, cipherSize);
    QCOMPARE(lastTotal, cipherSize);

    const QJsonObject logged = requestsTo("/filesafe/file$").first().toObject();
    const QJsonObject headers = logged.value("headers").toObject();
    QCOMPARE(headers.value("Content-Length").toString(), QString::number(cipherSize));
    QCOMPARE(headers.value("Content-Type").toString(), QString("application/octet-stream"));
    QCOMPARE(headers.value("X-Filename").toString(), QString("Bericht%202026%20%E2%80%93%20Entwurf.bin"));
    QCOMPARE(headers.value("X-Destination").toString(), folderId);
    const QString iv = headers.value("X-Transport-Iv").toString();
    QVERIFY2(QRegularExpression("^[0-9a-f]{32}$").match(iv).hasMatch(), qPrintable(iv));

    // A new version of the same object, with another IV.
    const QString objectId = stored.value("object_id").toString();
    const QByteArray second = pattern(5000, 3);
    QVERIFY(writeFile(local, second));
    Outcome<FilesafeObjectsTO_v2> version;
    m_ri->sendRemoteFileAction(objectId, local, folderId, version.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(version.calls, 1, 15000);
    QVERIFY2(version.result.isOk(), qPrintable(version.result.message()));
    const QJsonObject updated = objectAt(safeNamed("Private"), remotePath);
    QCOMPARE(updated.value("object_id").toString(), objectId);
    QCOMPARE(updated.value("versions").toInt(), 2);
    QCOMPARE(QByteArray::fromBase64(updated.value("content_b64").toString().toLatin1()), second);
    const QJsonArray posts = requestsTo("/filesafe/file");
    QCOMPARE(posts.last().toObject().value("path").toString(), "/rest/loggedin/3/filesafe/file/" + objectId);
    QVERIFY(posts.last().toObject().value("headers").toObject().value("X-Transport-Iv").toString() != iv);
}

void TestFilesafeRI::uploadEmptyFile()
{
    const QJsonObject safe = safeNamed("Private");
    const QString local = m_dir.filePath("nothing.txt");
    QVERIFY(writeFile(local, QByteArray()));
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->sendRemoteFileAction(QString(), local, safe.value("root_folder_id").toString(), out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    const QJsonObject stored = objectAt(safeNamed("Private"), "/nothing.txt");
    QCOMPARE(stored.value("size").toInt(), 0);
    const QJsonObject logged = requestsTo("/filesafe/file$").first().toObject();
    QCOMPARE(logged.value("headers").toObject().value("Content-Length").toString(), QString("16"));
    QCOMPARE(logged.value("body_size").toInt(16), 16);
}

void TestFilesafeRI::uploadQuota()
{
    const QJsonObject safe = safeNamed("Team Alpha");
    m_svc.control("safe", {{"safe_id", safe.value("safe_id")}, {"storage_quota", 1000}});
    const QString local = m_dir.filePath("big.bin");
    QVERIFY(writeFile(local, pattern(5000, 4)));
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->sendRemoteFileAction(QString(), local, safe.value("root_folder_id").toString(), out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    QCOMPARE(out.result.code(), EC_QUOTA_EXCEEDED);
    QVERIFY(objectAt(safeNamed("Team Alpha"), "/big.bin").isEmpty());
}

void TestFilesafeRI::uploadGrowingFile()
{
    // Bytes appended while the body goes out are not part of this upload: the body keeps the
    // length announced at the start and ends with a correct last block.
    const QJsonObject safe = safeNamed("Private");
    const QString local = m_dir.filePath("growing.log");
    const QByteArray original = pattern(2 * 1024 * 1024, 5);
    QVERIFY(writeFile(local, original));
    QFile appender(local);
    QVERIFY(appender.open(QIODevice::Append));
    bool appended = false;
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->sendRemoteFileAction(QString(), local, safe.value("root_folder_id").toString(), out.callback(),
                               [&](qint64 done, qint64) {
                                   if (!appended && done > 0) {
                                       appended = true;
                                       appender.write(pattern(300000, 6));
                                       appender.flush();
                                   }
                               });
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 15000);
    QVERIFY(appended);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    const QJsonObject stored = objectAt(safeNamed("Private"), "/growing.log");
    QCOMPARE(qint64(stored.value("size").toDouble()), qint64(original.size()));
    QCOMPARE(stored.value("checksum").toString(),
             "sha256:" + QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex()));
}

void TestFilesafeRI::uploadUnreadable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
}

void TestFilesafeRI::uploadUnreadable()
{
    QFETCH(QString, kind);
    const QString local = m_dir.filePath("source");
    if (kind == "folder") {
        QVERIFY(QDir(m_dir.path()).mkdir("source"));
    } else if (kind == "fifo") {
        // Opening a pipe without a writer would block the event loop.
        QCOMPARE(::mkfifo(QFile::encodeName(local).constData(), 0600), 0);
    }
    Outcome<FilesafeObjectsTO_v2> out;
    m_ri->sendRemoteFileAction(QString(), local, safeNamed("Private").value("root_folder_id").toString(),
                               out.callback(), nullptr);
    QCOMPARE(out.calls, 1);
    QCOMPARE(out.result.code(), EC_LOCAL_FILE);
    QVERIFY2(out.result.message().startsWith("Failed to open file: ["), qPrintable(out.result.message()));
    QVERIFY(out.result.message().contains("(details:"));
    QCOMPARE(m_svc.requests().size(), 0);
}

void TestFilesafeRI::uploadThroughSession()
{
    // The synchroniser reaches the upload through the session, with the published record.
    AppInfo newer = m_info;
    newer.apiGeneration = 2;
    AppInfo::publish(&newer);
    m_svc.control("config", {{"xsrf_required", false}});
    const QString local = m_dir.filePath("via-session.txt");
    QVERIFY(writeFile(local, "through the session"));
    Outcome<FilesafeObjectsTO_v2> out;
    R7Session::instance()->sendRemoteFileAction(
            QString(), local, safeNamed("Private").value("root_folder_id").toString(), out.callback(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(out.calls, 1, 10000);
    AppInfo::publish(nullptr);
    QVERIFY2(out.result.isOk(), qPrintable(out.result.message()));
    QCOMPARE(requestsTo("^/api/sync/1/files/file$").size(), 1);
    const QJsonObject stored = objectAt(safeNamed("Private"), "/via-session.txt");
    QCOMPARE(QByteArray::fromBase64(stored.value("content_b64").toString().toLatin1()),
             QByteArray("through the session"));
}

QTEST_MAIN(TestFilesafeRI)
#include "tst_filesaferi.moc"
