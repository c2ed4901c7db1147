// The file-safe and password interfaces against the development service, signed in to the demo account.
#include "core/AppInfo.h"
#include "net/DownloadFile.h"
#include "net/FilesafeRI.h"
#include "net/PasswordRI.h"
#include "net/R7Session.h"
#include "net/ServerInfo.h"
#include "net/crypto/PasswordCrypt.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/FileSystemRefusals.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

static QByteArray pattern(int size, int seed)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 7;
    for (char &c : data) {
        c = char((x = x * 1103515245u + 12345u) >> 24);
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

static QByteArray contentOf(const QJsonObject &stored)
{
    return QByteArray::fromBase64(stored.value("content_b64").toString().toLatin1());
}

// A folder made read-only where it lies, by a read-only bind mount on itself; the test runs in a
// mount namespace of its own (ctest starts it under unshare), and the mount goes with the object.
class ReadOnlyFolder
{
public:
    bool make(const QString &path)
    {
        const QByteArray at = QFile::encodeName(path);
        if (::mount(at.constData(), at.constData(), nullptr, MS_BIND, nullptr) != 0) {
            return false;
        }
        m_at = at;
        return ::mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (!m_at.isEmpty()) {
            ::umount2(m_at.constData(), MNT_DETACH);
        }
    }

private:
    QByteArray m_at;
};

class TestServiceInterfaces : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env = new TestEnv;
        QVERIFY2(m_svc.start(), qPrintable(m_svc.errorString()));
        AppInfo::publish(&m_info);
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
        m_ri = new FilesafeRI(&m_info, R7Session::instance(), this);
        m_passwords = new PasswordRI(&m_info, R7Session::instance(), this);
    }

    // Each test starts from a fresh service state and session, and an empty folder.
    void init()
    {
        QVERIFY(m_svc.reset());
        useGeneration(1);
        QVERIFY(QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path()));
    }

    // A test that failed half-way leaves no refusal or hook behind.
    void cleanup()
    {
        FileSystemRefusals::reset();
        DownloadFile::setRenameHook(nullptr);
    }

    void cleanupTestCase()
    {
        AppInfo::publish(nullptr);
        delete m_passwords;
        delete m_ri;
        m_svc.stop();
        delete m_env;
    }

    // Each password operation's method, path and body on the wire in both path generations (the newer
    // one brings its anti-forgery token); the password controller's round trips check the contents.
    void passwordsOnTheWire_data()
    {
        QTest::addColumn<int>("generation");
        QTest::newRow("older paths") << 1;
        QTest::newRow("newer paths") << 2;
    }

    void passwordsOnTheWire()
    {
        QFETCH(int, generation);
        useGeneration(generation);
        const auto list = awaitResult<EmptyPasswordsTO>([&](auto cb) { m_passwords->getPasswords(cb); });
        QVERIFY2(list.isOk(), qPrintable(list.message()));
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(), "GET " + base());

        m_svc.requests(true);
        const SinglePasswordTO secret = encrypted("n3w-S3cret");
        PasswordTO entry;
        entry.setTitle("Forum");
        entry.setPassword(secret.password());
        entry.setTransportIv(secret.transportIv());
        const auto made = awaitResult<EmptyPasswordTO>([&](auto cb) { m_passwords->createPassword(entry, cb); });
        QVERIFY2(made.isOk(), qPrintable(made.message()));
        QCOMPARE(stored("Forum").value("password").toString(), QString("n3w-S3cret"));
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(), "POST " + base());

        // The id travels in the path only.
        m_svc.requests(true);
        const QString id = made.payload().id();
        entry.setId(id);
        entry.setTitle("Forum 2");
        QVERIFY(awaitResult<EmptyPasswordTO>([&](auto cb) { m_passwords->updatePassword(entry, cb); }).isOk());
        QCOMPARE(stored("Forum 2").value("id").toString(), id);
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(),
                 "PUT " + base() + "/" + id);
        QVERIFY(!loggedBody().contains("id"));

        // A deleted id is trimmed.
        m_svc.requests(true);
        QVERIFY(awaitResult<Nothing>([&](auto cb) { m_passwords->deletePassword(" \t" + id + "  ", cb); }).isOk());
        QVERIFY(stored("Forum 2").isEmpty());
        QCOMPARE(logged().value("method").toString() + " " + logged().value("path").toString(),
                 "DELETE " + base() + "/" + id);
    }

    void passwordIdsKeep64Bits()
    {
        // 2^32 + the id of a real entry: a 32-bit id would fetch that entry's secret.
        const qint64 id = stored("Wi-Fi at home").value("id").toString().toLongLong();
        const qint64 wide = (qint64(1) << 32) + id;
        QCOMPARE(awaitResult<SinglePasswordTO>([&](auto cb) { m_passwords->getSinglePassword(wide, cb); }).code(),
                 EC_SERVICE_STATUS_10904);
        QCOMPARE(logged().value("path").toString(), base() + "/" + QString::number(wide));

        const QJsonArray array =
                QJsonDocument::fromJson("[1001, 4294968297, 9007199254740993, \"7\", null, 3.9, -2, {}]").array();
        QCOMPARE(PasswordRI::readIdList(array), (QList<qint64>{1001, 4294968297LL, 9007199254740993LL, 0, 0, 3, -2, 0}));
    }

    void passwordIdsOutsideTheirEntrySendNothing()
    {
        // Qt removes "." and ".." segments however they are encoded: "DELETE base/.." reaches the whole collection.
        QList<ErrorCode> codes;
        for (const char *id : {".", "..", "1/..", "1\r\nX: y"}) {
            m_passwords->deletePassword(id, [&](const EmptyResult &r) { codes << r.code(); });
            PasswordTO entry;
            entry.setId(id);
            m_passwords->updatePassword(entry, [&](const Result<EmptyPasswordTO> &r) { codes << r.code(); });
        }
        // A deleted id is trimmed: one of blanks would address the whole list; so would an update without id.
        m_passwords->deletePassword("   ", [&](const EmptyResult &r) { codes << r.code(); });
        m_passwords->updatePassword(PasswordTO(), [&](const Result<EmptyPasswordTO> &r) { codes << r.code(); });
        QCOMPARE(codes, QVector<ErrorCode>(10, EC_BAD_URL).toList());
        QCOMPARE(awaitResult<EmptyPasswordsTO>([&](auto cb) { m_passwords->getPasswords(cb); }).code(), EC_OK);
        QCOMPARE(logged().value("method").toString(), QString("GET"));
    }

    void malformedPasswordReplies()
    {
        m_svc.fault({{"path", "/breached$"}, {"body", "{\"status\":0,\"data\":{\"ids\":[1]}}"}});
        const auto noIds =
                awaitResult<QList<qint64>>([&](auto cb) { m_passwords->checkBreached(encrypted("x"), cb); });
        QCOMPARE(noIds.code(), EC_BAD_RESPONSE);

        m_svc.fault({{"path", "passwords$"},
                     {"body", "{\"status\":0,\"data\":{\"passwordsMax\":3,\"passwords\":[{\"id\":\"1\",\"title\":\"t\","
                              "\"username\":\"u\",\"url\":\"\"}]}}"}});
        QCOMPARE(awaitResult<EmptyPasswordsTO>([&](auto cb) { m_passwords->getPasswords(cb); }).code(),
                 EC_BAD_RESPONSE);
    }

    void safeListSorted_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<QString>("path");
        QTest::newRow("older paths") << 1 << "/rest/loggedin/3/filesafe/info";
        QTest::newRow("newer paths") << 2 << "/api/sync/1/files/info";
    }

    void safeListSorted()
    {
        QFETCH(int, generation);
        QFETCH(QString, path);
        AppInfo info = m_info;
        info.apiGeneration = generation;
        FilesafeRI ri(&info, R7Session::instance());
        const auto out = awaitResult<FilesafesTO_v2>([&](auto cb) { ri.getFilesafes(cb); });
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        QStringList order;
        for (const FilesafeTO_v2 &s : out.payload().filesafes) {
            order << s.type + ":" + s.name;
        }
        QCOMPARE(order, (QStringList{"PRIVATE:Private", "TEAMSAFE:Team Alpha", "MAIL_IN:Mail-in", "INBOX:Inbox"}));
        QCOMPARE(out.payload().filesafes.first().rootFolderId, safeNamed("Private").value("root_folder_id").toString());
        QCOMPARE(requestsTo("^" + path + "$").size(), 1);
    }

    void listingDepthAndType_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("expected"); // paths, comma-separated
        QTest::addColumn<QString>("header");
        const QString all = "/,/Documents,/Documents/Letters,/Documents/Letters/landlord.txt,/Documents/notes.md,"
                            "/Photos,/Photos/README.txt,/todo.txt";
        QTest::newRow("all below the top") << "/" << 0 << QString("any") << all << "%2F";
        QTest::newRow("one level of files") << "/" << 1 << QString("f") << "/todo.txt"
                                            << "%2F";
        const QString odd = QString::fromUtf8("/Mein Ordner/Grüße & a+b");
        QTest::newRow("path header encoded") << odd << 0 << QString("any") << odd
                                             << "%2FMein%20Ordner%2FGr%C3%BC%C3%9Fe%20%26%20a%2Bb";
    }

    void listingDepthAndType()
    {
        QFETCH(QString, path);
        QFETCH(int, depth);
        QFETCH(QString, type);
        QFETCH(QString, expected);
        QFETCH(QString, header);
        const QJsonValue safeId = safeNamed("Private").value("safe_id");
        if (objectAt("Private", path).isEmpty()) {
            m_svc.control("object", {{"safe_id", safeId}, {"path", path}, {"type", "d"}});
        }
        const auto out = awaitResult<FilesafeObjectsTO_v2>(
                [&](auto cb) { m_ri->getObjects(safeId.toString(), path, depth, type, cb); });
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        QStringList paths;
        for (const FilesafeObject &o : out.payload().filesafeObjects) {
            paths << o.path;
        }
        QCOMPARE(paths.join(','), expected);
        const QJsonObject logged = requestsTo("/info/").first().toObject();
        QCOMPARE(logged.value("query").toObject().value("depth").toString(), QString::number(depth));
        QCOMPARE(logged.value("query").toObject().value("type").toString(), type);
        QCOMPARE(logged.value("headers").toObject().value("X-Object-Path").toString(), header);
    }

    void listingWithParentElementRefused()
    {
        m_svc.fault({{"path", "/info/"}, {"listing", "dotdot"}});
        const auto out = awaitResult<FilesafeObjectsTO_v2>([&](auto cb) {
            m_ri->getObjects(safeNamed("Private").value("safe_id").toString(), "/Documents", 0, "any", cb);
        });
        QCOMPARE(out.code(), EC_BAD_RESPONSE);
        QVERIFY(out.payload().filesafeObjects.isEmpty());
    }

    void createDirHeaders()
    {
        const QString parentId = idOf("Private", "/Documents");
        const QString name = QString::fromUtf8("Neu Ärger 50%");
        const auto out = awaitResult<FilesafeObjectsTO_v2>([&](auto cb) { m_ri->createDir(parentId, name, cb); });
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        QCOMPARE(out.payload().filesafeObjects.first().path, "/Documents/" + name);
        QVERIFY(!objectAt("Private", "/Documents/" + name).isEmpty());
        const QJsonObject headers = headersOfFirst("/filesafe/folder$");
        QCOMPARE(headers.value("X-Foldername").toString(), QString("Neu%20%C3%84rger%2050%25"));
        QCOMPARE(headers.value("X-Destination").toString(), parentId);
    }

    void deleteModes_data()
    {
        // The private safe has a trash; the team safe's deletions go to the private trash.
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("mode");
        QTest::newRow("file into its safe's trash") << "/todo.txt" << false << "trash";
        QTest::newRow("folder into the private trash") << "/Projects" << true << "trashToPrivate";
    }

    void deleteModes()
    {
        QFETCH(QString, path);
        QFETCH(bool, folder);
        QFETCH(QString, mode);
        const bool hasTrash = mode == "trash";
        const QString safeName = hasTrash ? "Private" : "Team Alpha";
        const QString id = idOf(safeName, path);
        QVERIFY(!id.isEmpty());
        const auto out = awaitResult<Nothing>(
                [&](auto cb) { folder ? m_ri->deleteDir(id, hasTrash, cb) : m_ri->deleteFile(id, hasTrash, cb); });
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        const QJsonObject logged = requestsTo(folder ? "/folder/" : "/file/").first().toObject();
        QCOMPARE(logged.value("method").toString() + " " + logged.value("path").toString(),
                 QString("DELETE /rest/loggedin/3/filesafe/%1/%2").arg(folder ? "folder" : "file", id));
        QVERIFY(objectAt(safeName, path).isEmpty());
        const QJsonArray trash = safeNamed("Private").value("trash").toArray();
        QCOMPARE(trash.first().toObject().value("path").toString() + " " +
                         trash.first().toObject().value("mode").toString(),
                 path + " " + mode);
    }

    void badIdsSendNothing_data()
    {
        // Qt removes "." and ".." segments whatever their encoding: the parent resource would be hit.
        QTest::addColumn<QString>("id");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot dot") << "..";
        QTest::newRow("slash") << "Documents/..";
        QTest::newRow("CR LF") << "x\r\nX-Injected: 1";
    }

    void badIdsSendNothing()
    {
        QFETCH(QString, id);
        const QString local = m_dir.filePath("up.txt");
        QVERIFY(writeFile(local, "data"));
        const QString folder = idOf("Private", "/Documents");
        m_svc.requests(true);
        QList<ErrorCode> codes;
        const auto note = [&codes](const auto &result) { codes << result.code(); };
        m_ri->deleteFile(id, true, note);
        m_ri->deleteDir(id, false, note);
        m_ri->downloadFile(id, m_dir.filePath("x"), 1, note, nullptr);
        m_ri->getObjects(id, "/", 0, "any", note);
        if (!id.isEmpty()) { // an upload without id makes a new file; an empty destination is the service's to refuse
            m_ri->sendRemoteFileAction(id, local, folder, note, nullptr);
            m_ri->createDir(id, "New", note);
            m_ri->sendRemoteFileAction(QString(), local, id, note, nullptr);
        }
        // Refused at once, without a request.
        QCOMPARE(codes, QVector<ErrorCode>(id.isEmpty() ? 4 : 7, EC_BAD_URL).toList());
        QCOMPARE(awaitResult<FilesafesTO_v2>([&](auto cb) { m_ri->getFilesafes(cb); }).code(), EC_OK);
        QCOMPARE(m_svc.requests().size(), 1);
    }

    void downloadByteExact()
    {
        // A file of several network chunks, replacing an older local copy whose mode it keeps.
        const QByteArray content = pattern(3 * 1024 * 1024 + 7, 1);
        const QJsonObject made = m_svc.control("object", {{"safe_id", safeNamed("Private").value("safe_id")},
                                                          {"path", "/big.bin"},
                                                          {"content_b64", QString::fromLatin1(content.toBase64())}});
        const QString dest = m_dir.filePath("big.bin");
        QVERIFY(writeFile(dest, "old"));
        QCOMPARE(::chmod(QFile::encodeName(dest).constData(), 0640), 0);
        const auto out = awaitResult<qint64>([&](auto cb) {
            m_ri->downloadFile(made.value("object").toObject().value("object_id").toString(), dest, content.size(), cb,
                               nullptr);
        });
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        QCOMPARE(readFile(dest), content);
        QCOMPARE(entries(), QStringList{"big.bin"});
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(dest).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
    }

    void downloadOutlivesItsInterface_data()
    {
        QTest::addColumn<bool>("inCallback");
        QTest::newRow("interface deleted by the callback") << true;
        QTest::newRow("interface deleted before the reply") << false;
    }

    void downloadOutlivesItsInterface()
    {
        QFETCH(bool, inCallback);
        const QString dest = m_dir.filePath("todo.txt");
        QPointer<FilesafeRI> ri = new FilesafeRI(&m_info, R7Session::instance());
        QList<Result<qint64>> results;
        ri->downloadFile(
                idOf("Private", "/todo.txt"), dest, 17,
                [&](const Result<qint64> &r) {
                    results << r;
                    if (inCallback) {
                        delete ri.data();
                    }
                },
                nullptr);
        if (!inCallback) {
            delete ri.data();
        }
        QTRY_COMPARE(results.size(), 1);
        QVERIFY2(results.first().isOk(), qPrintable(results.first().message()));
        QVERIFY(ri.isNull());
        QCOMPARE(readFile(dest).size(), 17);
        QTRY_COMPARE(entries(), QStringList{"todo.txt"}); // no temporary file left
    }

    void downloadFailureKeepsTarget_data()
    {
        // Every case downloads "/todo.txt" (17 bytes) over a local "todo.txt".
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("hurdle");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("logged"); // the system's cause, in the log
        const QString noInit = "^Aborted: Unable to initiate download file decryption";
        QTest::newRow("IV missing") << QJsonObject{{"iv", "missing"}} << "" << int(EC_CLIENT) << noInit + "$"
                                    << "";
        QTest::newRow("IV short") << QJsonObject{{"iv", "malformed"}} << "" << int(EC_CLIENT) << noInit + "$"
                                  << "";
        // A temporary file that cannot be made names the system's cause.
        QTest::newRow("no folder for the temporary file")
                << QJsonObject() << "no folder" << int(EC_CLIENT) << noInit + ": No such file or directory$"
                << "Unable to initiate download file decryption: No such file or directory";
        QTest::newRow("read-only folder")
                << QJsonObject() << "read-only" << int(EC_CLIENT) << noInit + ": Read-only file system$"
                << "Unable to initiate download file decryption: Read-only file system";
        QTest::newRow("size mismatch") << QJsonObject() << "size" << int(EC_CLIENT)
                                       << "^Download size mismatch \\(expected: 18, received: 17\\)$"
                                       << "";
        // Another key garbles every block: the padding check (or, rarely, the size) fails.
        QTest::newRow("other key") << QJsonObject() << "key" << int(EC_CLIENT)
                                   << "^(Bad padding|Download size mismatch)"
                                   << "";
        QTest::newRow("404 body is no content") << QJsonObject{{"http_status", 404}} << "" << int(EC_NETWORK) << ""
                                                << "";
        QTest::newRow("503 body is no content")
                << QJsonObject{{"http_status", 503}} << "" << int(EC_SERVICE_UNAVAILABLE) << ""
                << "";
        QTest::newRow("destination cannot be replaced")
                << QJsonObject() << "folder" << int(EC_CLIENT)
                << "^Could not override file\\. File '.*/todo\\.txt': Is a directory$"
                << "";
    }

    void downloadFailureKeepsTarget()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, hurdle);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(QString, logged);
        if (!fault.isEmpty()) {
            fault.insert("path", "/file/");
            QVERIFY(m_svc.fault(fault) >= 0);
        }
        const QString dest = m_dir.filePath(hurdle == "no folder" ? "gone/todo.txt" : "todo.txt");
        const QString kept = hurdle == "folder" ? dest + "/inside" : m_dir.filePath("todo.txt");
        QVERIFY(hurdle != "folder" || QDir(m_dir.path()).mkdir("todo.txt"));
        QVERIFY(writeFile(kept, "my old list"));
        ReadOnlyFolder readOnly;
        if (hurdle == "read-only" && !readOnly.make(m_dir.path())) {
            QSKIP("no read-only bind mount here (ctest runs the test in a mount namespace of its own)");
        }
        R7Session *session = R7Session::instance();
        const QString key = session->transportKey();
        if (hurdle == "key") {
            session->setTransportKey(QString(64, QLatin1Char('7')));
        }
        LogCapture log;
        const auto out = awaitResult<qint64>([&](auto cb) {
            m_ri->downloadFile(idOf("Private", "/todo.txt"), dest, hurdle == "size" ? 18 : 17, cb, nullptr);
        });
        session->setTransportKey(key);
        QCOMPARE(int(out.code()), code);
        QVERIFY2(QRegularExpression(message).match(out.message()).hasMatch(), qPrintable(out.message()));
        QVERIFY2(logged.isEmpty() || log.contains(logged), qPrintable(log.messages().join('\n')));
        QCOMPARE(readFile(kept), QByteArray("my old list"));
        QTRY_COMPARE(entries(), QStringList{"todo.txt"});
    }

    // The last rename takes no name that the caller found free (nor one it freed by moving the old
    // file to its copy): a file saved there meanwhile stays, and so does the copy. Where the file
    // system cannot rename without replacing, a hard link takes the name, which fails as well when
    // it is taken; where it makes no links either, the name is looked at first and the log says so.
    // A name found taken gives up only the file found there.
    void downloadTakesNoFreeName_data()
    {
        QTest::addColumn<QStringList>("before"); // name=content
        // "free", "backup" (to "todo(copy).txt"), "found", or "found, copy name taken": copies at the
        // first free "todo(copy N).txt", and another file made at the one chosen right before the move
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QByteArray>("appears"); // saved at the name right before the last step
        QTest::addColumn<int>("refused");        // FileSystemRefusals
        QTest::addColumn<bool>("atTheCall");     // saved right before the system's final call instead
        QTest::addColumn<QString>("message");    // empty: the download is in place
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QStringList>("after");
        const QString taken = "^Could not override file\\. File '.*/todo\\.txt': A file appeared at the name during "
                              "the download and stays";
        const QString download = "todo.txt=1. sync\n2. relax\n";
        const int noFlags = FileSystemRefusals::NoReplace;
        QTest::newRow("the copy's name is taken")
                << QStringList{"todo.txt=my old list", "todo(copy).txt=someone's copy"} << "backup" << QByteArray() << 0
                << false << "^File exists$" << ""
                << QStringList{"todo(copy).txt=someone's copy", "todo.txt=my old list"};
        QTest::newRow("free at the check") << QStringList() << "free" << QByteArray("saved meanwhile") << 0 << false
                                           << taken + "$" << "" << QStringList{"todo.txt=saved meanwhile"};
        QTest::newRow("freed by the backup")
                << QStringList{"todo.txt=my old list"} << "backup" << QByteArray("saved meanwhile") << 0 << false
                << taken + "; the previous file stays as 'todo\\(copy\\)\\.txt'$" << ""
                << QStringList{"todo(copy).txt=my old list", "todo.txt=saved meanwhile"};
        QTest::newRow("no rename flags: linked in") << QStringList() << "free" << QByteArray() << noFlags << false << ""
                                                    << "" << QStringList{download};
        QTest::newRow("no rename flags: saved right before the link")
                << QStringList() << "free" << QByteArray("saved meanwhile") << noFlags << true << taken + "$" << ""
                << QStringList{"todo.txt=saved meanwhile"};
        QTest::newRow("no rename flags: saved right before the link, after the backup")
                << QStringList{"todo.txt=my old list"} << "backup" << QByteArray("saved meanwhile") << noFlags << true
                << taken + "; the previous file stays as 'todo\\(copy\\)\\.txt'$" << ""
                << QStringList{"todo(copy).txt=my old list", "todo.txt=saved meanwhile"};
        // On NFS a link that worked may answer that the name is taken: by this very file.
        QTest::newRow("no rename flags: the link's reply lost")
                << QStringList() << "free" << QByteArray() << (noFlags | FileSystemRefusals::LostLinkReply) << false
                << "" << "" << QStringList{download};
        QTest::newRow("no rename flags, no links: looked at first")
                << QStringList() << "free" << QByteArray() << (noFlags | FileSystemRefusals::Links) << false << ""
                << "the name was looked at right before a plain rename" << QStringList{download};
        // No conflict copy can be named (too long, say): nothing is moved, the download goes.
        QTest::newRow("found; no copy name fits")
                << QStringList{"todo.txt=my old list"} << "found" << QByteArray("saved meanwhile") << 0 << false
                << "^Could not override file\\. File '.*/todo\\.txt': No name for a conflict copy fits in the folder$"
                << "no conflict copy's name fits beside" << QStringList{"todo.txt=my old list"};
        // The move to the copy's name replaces nothing either: the next name is taken.
        QTest::newRow("found, then saved over; the copy's name taken at the move")
                << QStringList{"todo.txt=my old list"} << "found, copy name taken" << QByteArray("saved meanwhile") << 0
                << false << "" << "it was kept as 'todo(copy 2).txt'"
                << QStringList{"todo(copy 1).txt=someone else's file", "todo(copy 2).txt=saved meanwhile", download};
    }

    void downloadTakesNoFreeName()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, verdict);
        QFETCH(QByteArray, appears);
        QFETCH(int, refused);
        QFETCH(bool, atTheCall);
        QFETCH(QString, message);
        QFETCH(QString, logged);
        QFETCH(QStringList, after);
        for (const QString &entry : before) {
            QVERIFY(writeFile(m_dir.filePath(entry.section('=', 0, 0)), entry.section('=', 1).toUtf8()));
        }
        auto save = [&](int folder, const char *name) { // as an editor's atomic save leaves it
            QVERIFY(::unlinkat(folder, name, 0) == 0 || errno == ENOENT);
            const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0 && ::write(fd, appears.constData(), size_t(appears.size())) == appears.size());
            ::close(fd);
        };
        DownloadFile::setRenameHook([&](int folder, const QByteArray &name) {
            if (!appears.isEmpty() && !atTheCall) {
                save(folder, name.constData());
            }
        });
        bool saved = false;
        const bool copyTaken = verdict == "found, copy name taken";
        bool taken = false;
        FileSystemRefusals::setBeforeCall([&](const char *, int folder, const char *name) {
            if (!appears.isEmpty() && atTheCall && !saved && qstrcmp(name, "todo.txt") == 0) {
                saved = true;
                save(folder, name);
            }
            if (copyTaken && !taken && qstrcmp(name, "todo(copy 1).txt") == 0) {
                taken = true;
                const QByteArray other = "someone else's file";
                const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                QVERIFY(fd >= 0 && ::write(fd, other.constData(), size_t(other.size())) == other.size());
                ::close(fd);
            }
        });
        FileSystemRefusals::refuse(refused);
        LogCapture log;
        const auto out = awaitResult<qint64>([&](auto cb) {
            m_ri->downloadFile(idOf("Private", "/todo.txt"), m_dir.filePath("todo.txt"), 17, cb, nullptr, QString(),
                               [&](DownloadFile &file, QString *destination, QString *reason) {
                                   if (verdict == "backup") {
                                       return file.backUp("todo.txt", "todo(copy).txt", reason);
                                   }
                                   struct stat found;
                                   if (verdict == "free" || ::lstat(QFile::encodeName(*destination), &found) != 0) {
                                       file.setMayReplace(false);
                                       return true;
                                   }
                                   file.setMayReplace(found, [this, copyTaken](const QString &) {
                                       for (int n = 1; copyTaken && n < 10; ++n) {
                                           const QString copy = m_dir.filePath(QString("todo(copy %1).txt").arg(n));
                                           if (!QFileInfo::exists(copy)) {
                                               return copy;
                                           }
                                       }
                                       return m_dir.filePath(QString(300, QLatin1Char('x')));
                                   });
                                   return true;
                               });
        });
        FileSystemRefusals::reset();
        DownloadFile::setRenameHook(nullptr);
        QCOMPARE(saved, atTheCall);
        QCOMPARE(taken, copyTaken);
        if (message.isEmpty()) {
            QVERIFY2(out.isOk(), qPrintable(out.message()));
        } else {
            QCOMPARE(int(out.code()), int(EC_CLIENT));
            QVERIFY2(QRegularExpression(message).match(out.message()).hasMatch(), qPrintable(out.message()));
        }
        QVERIFY2(logged.isEmpty() || log.contains(logged), qPrintable(log.messages().join('\n')));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the download's file is gone too
        QStringList found;
        for (const QString &name : entries()) {
            const QString shown = name.startsWith("~$") ? "~$temporary" : name;
            found << shown + "=" + QString::fromUtf8(readFile(m_dir.filePath(name)));
        }
        QCOMPARE(found, after); // no temporary file left either, unless it holds the user's work
    }

    void uploadNewFileAndVersion()
    {
        const QString folderId = idOf("Private", "/Documents");
        const QString local = m_dir.filePath(QString::fromUtf8("Bericht 2026 – Entwurf.bin"));
        const QByteArray content = pattern(200 * 1024 + 3, 2);
        QVERIFY(writeFile(local, content));
        const auto out = upload(QString(), local, folderId);
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        const QString remotePath = QString::fromUtf8("/Documents/Bericht 2026 – Entwurf.bin");
        QCOMPARE(out.payload().filesafeObjects.first().path, remotePath);
        QCOMPARE(contentOf(objectAt("Private", remotePath)), content);
        const qint64 cipherSize = (content.size() / 16 + 1) * 16;
        QCOMPARE(headersOfFirst("/filesafe/file$").value("Content-Length").toString(), QString::number(cipherSize));

        // A new version of the same object, of no bytes (one padding block).
        const QString objectId = idOf("Private", remotePath);
        QVERIFY(writeFile(local, QByteArray()));
        m_svc.requests(true);
        const auto version = upload(objectId, local, folderId);
        QVERIFY2(version.isOk(), qPrintable(version.message()));
        const QJsonObject updated = objectAt("Private", remotePath);
        QCOMPARE(updated.value("versions").toInt(), 2);
        QCOMPARE(updated.value("size").toInt(-1), 0);
        QCOMPARE(headersOfFirst("/filesafe/file/").value("Content-Length").toString(), QString("16"));
    }

    void uploadGrowingFile()
    {
        // Bytes appended while the body goes out are not part of this upload.
        const QString local = m_dir.filePath("growing.log");
        const QByteArray original = pattern(2 * 1024 * 1024, 5);
        QVERIFY(writeFile(local, original));
        QFile appender(local);
        QVERIFY(appender.open(QIODevice::Append));
        bool appended = false;
        const auto out =
                upload(QString(), local, safeNamed("Private").value("root_folder_id").toString(), [&](qint64 done, qint64) {
                    if (!appended && done > 0) {
                        appended = true;
                        appender.write(pattern(300000, 6));
                        appender.flush();
                    }
                });
        QVERIFY(appended);
        QVERIFY2(out.isOk(), qPrintable(out.message()));
        const QJsonObject stored = objectAt("Private", "/growing.log");
        QCOMPARE(qint64(stored.value("size").toDouble()), qint64(original.size()));
        QCOMPARE(stored.value("checksum").toString(),
                 "sha256:" + QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex()));
    }

    void uploadUnreadable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("throughSession");
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("fifo") << "fifo" << false;
        QTest::newRow("link to a readable file") << "link" << false;
        QTest::newRow("link, through the session") << "link" << true;
    }

    void uploadUnreadable()
    {
        QFETCH(QString, kind);
        QFETCH(bool, throughSession);
        const QString local = m_dir.filePath("source");
        if (kind == "fifo") {
            // Opening a pipe without a writer would block the event loop.
            QCOMPARE(::mkfifo(QFile::encodeName(local).constData(), 0600), 0);
        } else if (kind == "link") {
            // What a link names is somebody else's to share.
            QVERIFY(writeFile(m_dir.filePath("elsewhere"), "not for the service"));
            QVERIFY(QFile::link(m_dir.filePath("elsewhere"), local));
        }
        // Refused before anything is sent: the answer comes at once.
        const QString folder = safeNamed("Private").value("root_folder_id").toString();
        const auto out = throughSession ? awaitResult<FilesafeObjectsTO_v2>([&](auto cb) {
            R7Session::instance()->sendRemoteFileAction(QString(), local, folder, cb, nullptr);
        })
                                        : upload(QString(), local, folder);
        QCOMPARE(out.code(), EC_LOCAL_FILE);
        QCOMPARE(m_svc.requests().size(), 0);
    }

private:
    // Signs in afresh in the given path generation.
    void useGeneration(int generation)
    {
        m_info.apiGeneration = generation;
        const EmptyResult signedIn = signInDemoFresh(&m_info);
        QVERIFY2(signedIn.isOk(), qPrintable(signedIn.message()));
        m_svc.requests(true);
    }

    QString base() const { return m_info.apiGeneration == 1 ? "/rest/loggedin/2/passwords" : "/api/sync/1/passwords"; }
    // The one request to the password paths, as the service logged it.
    QJsonObject logged()
    {
        const QJsonArray mine = requestsTo("passwords");
        return mine.size() == 1 ? mine.first().toObject() : QJsonObject{{"count", mine.size()}};
    }
    QJsonObject loggedBody() { return QJsonDocument::fromJson(logged().value("body").toString().toUtf8()).object(); }
    QJsonObject stored(const QString &title)
    {
        for (const QJsonValue &user : m_svc.state().value("users").toArray()) {
            if (user.toObject().value("name").toString() == "demo") {
                for (const QJsonValue &v : user.toObject().value("passwords").toArray()) {
                    if (v.toObject().value("title").toString() == title) {
                        return v.toObject();
                    }
                }
            }
        }
        return {};
    }
    SinglePasswordTO encrypted(const QString &secret)
    {
        QString error;
        const EncryptedBytes bytes =
                PasswordCrypt(R7Session::instance()->transportKey()).encryptPassword(secret.toUtf8(), &error);
        SinglePasswordTO to;
        to.setPassword(QString::fromLatin1(bytes.ciphertext.toHex()));
        to.setTransportIv(bytes.iv);
        return to;
    }

    QJsonObject safeNamed(const QString &name)
    {
        for (const QJsonValue &v : m_svc.state().value("safes").toArray()) {
            if (v.toObject().value("safe_name").toString() == name && v.toObject().value("owner").toString() == "demo") {
                return v.toObject();
            }
        }
        return {};
    }

    QJsonObject objectAt(const QString &safeName, const QString &path)
    {
        for (const QJsonValue &v : safeNamed(safeName).value("objects").toArray()) {
            if (v.toObject().value("path").toString() == path) {
                return v.toObject();
            }
        }
        return {};
    }

    QString idOf(const QString &safeName, const QString &path)
    {
        return objectAt(safeName, path).value("object_id").toString();
    }
    QJsonArray requestsTo(const QString &pathPattern)
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

    QJsonObject headersOfFirst(const QString &pathPattern)
    {
        return requestsTo(pathPattern).first().toObject().value("headers").toObject();
    }
    // Everything in the test folder, hidden "~$" names included.
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    Result<FilesafeObjectsTO_v2> upload(const QString &objectId, const QString &local, const QString &folderId,
                                        const FilesafeRI::ProgressCallback &progress = nullptr)
    {
        return awaitResult<FilesafeObjectsTO_v2>(
                [&](auto cb) { m_ri->sendRemoteFileAction(objectId, local, folderId, cb, progress); });
    }

    TestEnv *m_env = nullptr;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    FilesafeRI *m_ri = nullptr;
    PasswordRI *m_passwords = nullptr;
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestServiceInterfaces)
#include "tst_serviceinterfaces.moc"
