#pragma once

#include "core/AppInfo.h"
#include "db/FileSafeDao.h"
#include "db/R7Database.h"
#include "db/SyncSettingsDao.h"
#include "net/FilesafeRI.h"
#include "net/R7Session.h"
#include "net/Request.h"
#include "net/ServerInfo.h"
#include "sync/MultiSyncher.h"
#include "sync/Syncher.h"
#include "tests/net/DemoSignIn.h"
#include "tests/support/AwaitResult.h"
#include "tests/support/DevService.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

// One signed-in client against the development service: a safe of its own for each scenario, a
// setting that pairs it with a fresh local folder, and the trees of both sides for comparison.
// Folders appear in a tree as "path/" with an empty value.
class SyncHarness
{
public:
    using Tree = QMap<QString, QByteArray>;

    struct Outcome {
        QString end; // "finished", "canceled", "timeout" or "none"
        int nFailed = 0;
        QList<SyncAction> finished;
        QList<SyncAction> reported; // through syncExecutedOne
        int questions = 0;
        bool questionForced = false;
        int quotaSignals = 0;
        QStringList stateWriteFailures; // causes, through stateWriteFailed

        // The last report of the action on `relPath`; an empty action where none came.
        SyncAction reportedFor(const QString &relPath) const
        {
            SyncAction found;
            for (const SyncAction &a : reported) {
                if (a.relPath() == relPath)
                    found = a;
            }
            return found;
        }
        int countStatus(int status) const
        {
            int n = 0;
            for (const SyncAction &a : reported) {
                n += a.status() == status ? 1 : 0;
            }
            return n;
        }
        // Transfers and deletions that really ran.
        int work() const
        {
            int n = 0;
            for (const SyncAction &a : finished) {
                const int t = a.action();
                n += t >= SyncAction::CreateLocalDir && t != SyncAction::UpdateLocalFile ? 1 : 0;
            }
            return n;
        }
    };

    // databaseFile: a name in a folder of its own, or an absolute path (e.g. on a small disk).
    explicit SyncHarness(const QString &databaseFile = QStringLiteral("client.db3"))
        : m_db(databaseFile)
    {}

    bool start()
    {
        if (!m_svc.start()) {
            m_error = m_svc.errorString();
            return false;
        }
        m_db.open();
        m_info = m_db.appInfo();
        m_info.apiGeneration = 1;
        R7Session::instance()->setServer(ServerInfo("LOCALDEV", "dev", "dev", m_svc.httpUrl(), false));
        m_ri = std::make_unique<FilesafeRI>(&m_info, R7Session::instance());
        m_dao = std::make_unique<FileSafeDao>(&m_info, m_ri.get());
        Syncher::setPumpTiming(50, 0);
        Request::setTimeoutCap(3000);
        return signIn();
    }

    bool signIn()
    {
        const EmptyResult signedIn = signInDemoFresh(&m_info);
        m_error = signedIn.message();
        return signedIn.isOk();
    }

    // Each test's start: no faults left from the one before, a session (signed in again where the
    // last one ended) and a new setting.
    bool freshSetting()
    {
        clearFaults();
        if (!refreshSafes() && !signIn()) {
            return false;
        }
        return newSetting();
    }

    // A new empty safe of the demo user and a setting for it; earlier settings are removed.
    bool newSetting(const QJsonObject &fields = {}, bool removeOthers = true)
    {
        QJsonObject args = fields;
        args["owner"] = "demo";
        if (!args.contains("safe_name")) {
            args["safe_name"] = QStringLiteral("Sync %1").arg(++m_safes);
        }
        if (!args.contains("safe_type")) {
            args["safe_type"] = "TEAMSAFE";
        }
        const QJsonObject reply = m_svc.control("safe", args);
        m_safeId = reply.value("safe").toObject().value("safe_id").toString();
        if (m_safeId.isEmpty() || !refreshSafes()) {
            m_error = "no safe";
            return false;
        }
        if (removeOthers) {
            SyncSettingsDao::instance()->removeAll();
        }
        // The folders of earlier settings stay: their settings may still run.
        if (m_local) {
            m_oldLocals.push_back(std::move(m_local));
        }
        m_local = localRoot.isEmpty() ? std::make_unique<QTemporaryDir>()
                                      : std::make_unique<QTemporaryDir>(localRoot + "/local-XXXXXX");
        SyncSetting setting;
        setting.setSafeId(m_safeId);
        setting.setRemoteDir(remoteDir.isEmpty() ? QStringLiteral("/") : remoteDir);
        setting.setLocalDir(m_local->path());
        return SyncSettingsDao::instance()->add(setting);
    }

    bool refreshSafes()
    {
        return awaitResult<Nothing>([&](auto cb) { m_dao->updateFileSafes(cb); }).isOk();
    }

    QList<SyncSetting> settings() { return SyncSettingsDao::instance()->getList(true, false); }

    // One run of the coordinator over every setting; `answer` replies to the large-deletion
    // question, `during` is called with each progress report.
    Outcome run(bool answer = true, const std::function<void(MultiSyncher &, const ProgressInfo &)> &during = {},
                int timeoutMs = 30000)
    {
        Outcome out;
        MultiSyncher ms(m_dao.get(), m_ri.get());
        ms.setLargeDeleteQuestion([&out, answer, &ms, this](const QString &, int, bool always) {
            ++out.questions;
            if (onQuestion) {
                onQuestion(ms);
            }
            out.questionForced = out.questionForced || always;
            return answer;
        });
        bool ended = false;
        const auto end = [&out, &ended](const char *how) {
            out.end = ended ? "twice" : how;
            ended = true;
        };
        QObject::connect(&ms, &MultiSyncher::syncFinished,
                         [&out, &end](int, int nFailed, const QList<SyncAction> &list) {
                             end("finished");
                             out.nFailed = nFailed;
                             out.finished = list;
                         });
        QObject::connect(&ms, &MultiSyncher::syncCanceled, [&end]() { end("canceled"); });
        QObject::connect(&ms, &MultiSyncher::sessionTimeout, [&end]() { end("timeout"); });
        QObject::connect(&ms, &MultiSyncher::quotaExceeded, [&out]() { ++out.quotaSignals; });
        QObject::connect(&ms, &MultiSyncher::stateWriteFailed,
                         [&out](const QString &cause) { out.stateWriteFailures << cause; });
        QObject::connect(&ms, &MultiSyncher::syncExecutedOne,
                         [&out](bool, const QString &, const SyncAction &a) { out.reported << a; });
        if (during) {
            QObject::connect(&ms, &MultiSyncher::syncProgress,
                             [&ms, &during](bool, const ProgressInfo &pi) { during(ms, pi); });
        }
        ms.requestSync(settings());
        QElapsedTimer timer;
        timer.start();
        while (!ended && timer.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        // Whatever the run left to the event loop (deferred deletions, late replies) happens now.
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (!ended) {
            out.end = "none";
        }
        return out;
    }

    // ---- the service's side

    // The current setting's safe unless another is named.
    QJsonObject safeState(const QString &safeId = QString()) const
    {
        for (const QJsonValue &v : m_svc.state().value("safes").toArray()) {
            if (v.toObject().value("safe_id").toString() == (safeId.isEmpty() ? m_safeId : safeId)) {
                return v.toObject();
            }
        }
        return {};
    }

    Tree remoteTree(const QString &safeId = QString()) const
    {
        Tree tree;
        for (const QJsonValue &v : safeState(safeId).value("objects").toArray()) {
            const QJsonObject o = v.toObject();
            const QString path = o.value("path").toString().mid(1);
            if (path.isEmpty()) {
                continue;
            }
            if (o.value("type").toString() == "d") {
                tree.insert(path + "/", QByteArray());
            } else {
                tree.insert(path, QByteArray::fromBase64(o.value("content_b64").toString().toLatin1()));
            }
        }
        return tree;
    }

    bool putRemote(const QString &path, const QByteArray &content)
    {
        return object({{"path", "/" + path}, {"type", "f"}, {"content_b64", QString::fromLatin1(content.toBase64())}});
    }
    bool putRemoteDir(const QString &path) { return object({{"path", "/" + path}, {"type", "d"}}); }
    bool deleteRemote(const QString &path) { return object({{"path", "/" + path}, {"op", "delete"}}); }
    bool setSafe(const QJsonObject &fields)
    {
        QJsonObject args = fields;
        args["safe_id"] = m_safeId;
        return m_svc.control("safe", args).value("ok").toBool();
    }

    void clearFaults() { m_svc.control("fault", {{"clear", true}}); }
    int lastRunState() { return m_db.rawValue("SELECT state FROM sync_history ORDER BY id DESC LIMIT 1").toInt(); }

    // Changes on both sides, one a line: "L path=content", "R path/" (a folder), "L -path" (deleted).
    bool apply(const QStringList &changes)
    {
        for (const QString &change : changes) {
            const bool local = change.startsWith('L');
            const QString path = change.mid(2).section('=', 0, 0);
            const QByteArray content = change.section('=', 1).toUtf8();
            bool ok;
            if (path.startsWith('-')) {
                ok = local ? deleteLocal(path.mid(1)) : deleteRemote(path.mid(1));
            } else if (path.endsWith('/')) {
                ok = local ? putLocalDir(path) : putRemoteDir(path.chopped(1));
            } else {
                ok = local ? putLocal(path, content) : putRemote(path, content);
            }
            if (!ok) {
                m_error = "cannot apply " + change;
                return false;
            }
        }
        return true;
    }

    // ---- the local side

    QString localDir() const { return m_local ? m_local->path() : QString(); }
    QString localPath(const QString &rel) const { return localDir() + "/" + rel; }

    bool putLocal(const QString &rel, const QByteArray &content)
    {
        const QString path = localPath(rel);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }
    bool putLocalDir(const QString &rel) { return QDir().mkpath(localPath(rel)); }
    bool deleteLocal(const QString &rel)
    {
        const QFileInfo info(localPath(rel));
        return info.isDir() ? QDir(info.filePath()).removeRecursively() : QFile::remove(info.filePath());
    }
    // No temporary download left beside the user's files.
    bool noPartials(const QString &rel = QString()) const
    {
        return QDir(localPath(rel)).entryList({"~$*"}, QDir::Files | QDir::Hidden).isEmpty();
    }
    QByteArray readLocal(const QString &rel) const
    {
        QFile file(localPath(rel));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Hidden names too; conflict copies go to `conflicts` when given, not to the tree.
    Tree localTree(Tree *conflicts = nullptr) const
    {
        Tree tree;
        QDirIterator it(localDir(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QString rel = QDir(localDir()).relativeFilePath(it.filePath());
            if (it.fileInfo().isDir()) {
                tree.insert(rel + "/", QByteArray());
                continue;
            }
            QFile file(it.filePath());
            const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
            if (rel.contains("conflicted copy")) {
                if (conflicts) {
                    conflicts->insert(rel, content);
                }
                continue;
            }
            tree.insert(rel, content);
        }
        return tree;
    }

    static QString describe(const Tree &a, const Tree &b)
    {
        QStringList out;
        for (const QString &key : QSet<QString>(a.keyBegin(), a.keyEnd()) + QSet<QString>(b.keyBegin(), b.keyEnd())) {
            const QByteArray x = a.value(key, "<absent>");
            const QByteArray y = b.value(key, "<absent>");
            if (x != y || a.contains(key) != b.contains(key)) {
                out << key + " (" + QString::fromLatin1(x.left(40)) + " / " + QString::fromLatin1(y.left(40)) + ")";
            }
        }
        return out.join("; ");
    }

    // Where the next setting's local folder is made; the system's temporary folder when empty.
    QString localRoot;
    // The service's folder of the next setting (it must exist when the setting runs); "/" when empty.
    QString remoteDir;

    // Called while the large-deletion question is open (it is modal: the user may stop meanwhile).
    std::function<void(MultiSyncher &)> onQuestion;

    DevService &svc() { return m_svc; }
    FilesafeRI *ri() { return m_ri.get(); }
    FileSafeDao *dao() { return m_dao.get(); }
    QString safeId() const { return m_safeId; }
    QString error() const { return m_error; }
    TestDatabase &db() { return m_db; }

private:
    bool object(QJsonObject args)
    {
        args["safe_id"] = m_safeId;
        return m_svc.control("object", args).value("ok").toBool();
    }

    TestEnv m_env;
    TestDatabase m_db;
    DevService m_svc;
    AppInfo m_info = AppInfo::forThisBuild();
    std::unique_ptr<FilesafeRI> m_ri;
    std::unique_ptr<FileSafeDao> m_dao;
    std::unique_ptr<QTemporaryDir> m_local;
    std::vector<std::unique_ptr<QTemporaryDir>> m_oldLocals;
    QString m_safeId;
    QString m_error;
    int m_safes = 0;
};

// Compares the local tree (without conflict copies) with the service's decrypted state.
#define COMPARE_TREES(h)                                                                                              \
    do {                                                                                                              \
        const SyncHarness::Tree local_ = (h).localTree();                                                             \
        const SyncHarness::Tree remote_ = (h).remoteTree();                                                           \
        QVERIFY2(local_ == remote_, qPrintable(SyncHarness::describe(local_, remote_)));                             \
    } while (false)

// One more run ends normally with both sides equal, and the run after it has nothing to do.
#define CONVERGES(h)                                                                                                  \
    do {                                                                                                              \
        QCOMPARE((h).run().end, QString("finished"));                                                                 \
        COMPARE_TREES(h);                                                                                             \
        const SyncHarness::Outcome next_ = (h).run();                                                                 \
        QCOMPARE(next_.work(), 0);                                                                                    \
        QCOMPARE(next_.nFailed, 0);                                                                                   \
    } while (false)
