#include "tests/support/LogCapture.h"
#include "tests/sync/SyncHarness.h"

#include <QCryptographicHash>
#include <QtTest>

#include <cstdio>

// The guards of a run against what can change under it: a local folder that empties, a folder or
// file swapped for a link between the scan and a transfer, and listed paths that leave the folder.
class TestSyncGuards : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_h = std::make_unique<SyncHarness>();
        QVERIFY2(m_h->start(), qPrintable(m_h->error()));
    }

    void cleanup() { Syncher::setStepHook(nullptr); }

    void init() { QVERIFY2(m_h->freshSetting(), qPrintable(m_h->error())); }

    // An unmounted drive leaves its mount point empty: the question is asked even for a few files
    // and with the question switched off.
    void emptiedLocalFolderAsks_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("declined") << false;
        QTest::newRow("accepted") << true;
    }

    void emptiedLocalFolderAsks()
    {
        QFETCH(bool, answer);
        seedAndRun();
        const SyncHarness::Tree remote = m_h->remoteTree();
        QVERIFY(QDir(m_h->localDir()).removeRecursively() && QDir().mkpath(m_h->localDir()));
        QSettings().setValue("ui/show_delete_files_warning", false);
        const SyncHarness::Outcome out = m_h->run(answer);
        QSettings().remove("ui/show_delete_files_warning");
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(out.questions, 1);
        QVERIFY(out.questionForced);
        if (answer) {
            QCOMPARE(remoteFiles(), QStringList());
            return;
        }
        // Declined: the setting stops with an error; nothing was deleted or fetched back.
        QVERIFY(out.nFailed > 0);
        QCOMPARE(m_h->remoteTree(), remote);
        QCOMPARE(m_h->localTree(), SyncHarness::Tree());
    }

    // The folder of a download's target becomes a link to elsewhere: before the download, before
    // a conflict download (nothing is moved to a copy and the stored state stays), or after the
    // conflicting local file was moved to its copy. The finished download must not replace the
    // file found through the link, and the user's file stays as it was.
    void downloadIntoLinkedFolderRefused_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("before the download") << "start";
        QTest::newRow("before a conflict download") << "conflict";
        QTest::newRow("after the conflict copy") << "backedup";
    }

    void downloadIntoLinkedFolderRefused()
    {
        QFETCH(QString, when);
        seedAndRun();
        QTemporaryDir outside;
        bool swapped = false;
        const auto swap = [&]() {
            swapped = QDir().rename(m_h->localPath("docs"), outside.path() + "/docs") &&
                      QFile::link(outside.path() + "/docs", m_h->localPath("docs"));
        };
        SyncHarness::Outcome out;
        int backups = 0;
        if (when == "start") {
            QVERIFY(m_h->putRemote("docs/a.txt", "remote a, edited"));
            out = m_h->run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
                if (!swapped && pi.action.action() == SyncAction::DownloadFile && pi.action.relPath() == "docs/a.txt") {
                    swap();
                }
            });
        } else {
            QVERIFY(m_h->apply({"L docs/a.txt=local a, edited", "R docs/a.txt=remote a, edited too"}));
            Syncher::setStepHook([&](const char *step, const SyncAction &a) {
                if (qstrcmp(step, "backedup") == 0 && a.relPath() == "docs/a.txt") {
                    ++backups;
                    if (!swapped && when == "backedup") {
                        swap();
                    }
                }
            });
            // Once the download writes into the folder: the conflict copy would be the next step.
            out = m_h->run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
                if (!swapped && when == "conflict" && pi.action.action() == SyncAction::BackupDownloadFile &&
                    pi.action.relPath() == "docs/a.txt" &&
                    !QDir(m_h->localPath("docs")).entryList({"~$*"}, QDir::Files | QDir::Hidden).isEmpty()) {
                    swap();
                }
            });
        }
        QVERIFY(swapped);
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(statusOf(out, "docs/a.txt"), int(SyncAction::ERR_FILE_DOWNLOAD));
        QFile kept(outside.path() + "/docs/a.txt");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray(when == "start" ? "remote a" : "local a, edited"));
        QCOMPARE(QDir(outside.path() + "/docs").entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
        if (when == "conflict") {
            QCOMPARE(backups, 0);
            QCOMPARE(m_h->db().rawValue("SELECT COUNT(*) FROM fs_object WHERE path = 'docs/a.txt'").toInt(), 1);
        }
    }

    // Between the scan and the upload the file changes; what the service receives is never the
    // target of a link, and a file that is not the planned one waits for the next run.
    void uploadOfChangedSource_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("file swapped for a link") << "file link";
        QTest::newRow("folder swapped for a link") << "folder link";
        QTest::newRow("rewritten") << "rewritten";
        // Only the time tells: a file still being written into its final size looks the same.
        QTest::newRow("rewritten, same size") << "same size";
    }

    void uploadOfChangedSource()
    {
        QFETCH(QString, change);
        QVERIFY(m_h->putLocal("up/x.txt", "planned content"));
        // Someone else's file of the same size and time: only the link tells it apart.
        QTemporaryDir outside;
        QFile secret(outside.path() + "/x.txt");
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("SECRET, others!") == 15 && secret.flush());
        QVERIFY(secret.setFileTime(QFileInfo(m_h->localPath("up/x.txt")).lastModified(),
                                   QFileDevice::FileModificationTime));
        secret.close();
        bool changed = false;
        LogCapture log;
        const SyncHarness::Outcome out = m_h->run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
            if (changed || pi.action.action() != SyncAction::UploadFile || pi.action.relPath() != "up/x.txt") {
                return;
            }
            const QString file = m_h->localPath("up/x.txt");
            if (change == "file link") {
                changed = QFile::remove(file) && QFile::link(secret.fileName(), file);
            } else if (change == "folder link") {
                changed = QDir().rename(m_h->localPath("up"), outside.path() + "/up") &&
                          QFile::link(outside.path(), m_h->localPath("up"));
            } else if (change == "same size") {
                const QDateTime scanned = QFileInfo(file).lastModified();
                QFile rewritten(file);
                changed = m_h->putLocal("up/x.txt", "PLANNED CONTENT") && rewritten.open(QIODevice::ReadWrite) &&
                          rewritten.setFileTime(scanned.addSecs(5), QFileDevice::FileModificationTime);
            } else {
                changed = m_h->putLocal("up/x.txt", "rewritten after the scan");
            }
        });
        QVERIFY(changed);
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(statusOf(out, "up/x.txt"), int(SyncAction::WARN_SKIPPED));
        QVERIFY(!m_h->remoteTree().contains("up/x.txt"));
        QVERIFY(!m_h->remoteTree().values().contains("SECRET, others!"));
        // Both texts of the failure line are the action's own.
        QVERIFY2(log.contains("path:'up/x.txt' msg:'Upload skipped'"), qPrintable(log.messages().join('\n')));
        if (change == "rewritten" || change == "same size") {
            CONVERGES(*m_h);
            QCOMPARE(m_h->remoteTree().value("up/x.txt"), m_h->readLocal("up/x.txt"));
        }
    }

    // While the file goes up it is replaced: by a link to a file of the same size and time, or by
    // another file of the same size and time. What was sent is recorded as sent, but not as what
    // the path now holds; nothing of the link's target reaches the service, and no edit is lost.
    void uploadSourceReplacedWhileSent_data()
    {
        QTest::addColumn<bool>("byLink");
        QTest::newRow("by a link") << true;
        QTest::newRow("by another file") << false;
    }

    void uploadSourceReplacedWhileSent()
    {
        QFETCH(bool, byLink);
        const QByteArray sent(300000, 'o');
        const QByteArray other(300000, 'n');
        QVERIFY(m_h->putLocal("up/big.bin", sent));
        const QString file = m_h->localPath("up/big.bin");
        const QDateTime mtime = QFileInfo(file).lastModified();
        QTemporaryDir outside;
        const QString replacement = byLink ? outside.path() + "/big.bin" : m_h->localPath("up/big.new");
        QFile made(replacement);
        QVERIFY(made.open(QIODevice::WriteOnly) && made.write(other) == other.size() && made.flush());
        QVERIFY(made.setFileTime(mtime, QFileDevice::FileModificationTime));
        made.close();
        bool replaced = false;
        const SyncHarness::Outcome out = m_h->run(true, [&](MultiSyncher &, const ProgressInfo &pi) {
            if (replaced || pi.message != "Uploading ..." || pi.action.executed()) {
                return;
            }
            replaced = byLink ? QFile::remove(file) && QFile::link(replacement, file)
                              : ::rename(QFile::encodeName(replacement), QFile::encodeName(file)) == 0;
        });
        QVERIFY(replaced);
        QCOMPARE(out.end, QString("finished"));
        QCOMPARE(statusOf(out, "up/big.bin"), int(SyncAction::WARN_SKIPPED));
        QCOMPARE(m_h->remoteTree().value("up/big.bin"), sent);
        if (byLink) {
            return;
        }
        CONVERGES(*m_h);
        SyncHarness::Tree conflicts;
        const SyncHarness::Tree local = m_h->localTree(&conflicts);
        QVERIFY(local.value("up/big.bin") == other || conflicts.values().contains(other));
    }

    void uploadLogLine()
    {
        const QByteArray content = "logged upload";
        QVERIFY(m_h->putLocal("one.txt", content));
        LogCapture log;
        QCOMPARE(m_h->run().nFailed, 0);
        const QString sum = QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
        QVERIFY2(log.contains(QString("file upload ok. size: %1 checksum: 'sha256:%2' file: 'one.txt'")
                                      .arg(content.size())
                                      .arg(sum)),
                 qPrintable(log.messages().filter("upload ok").join('\n')));
    }

    // A listed path that could leave the folder ends the analysis as not below the base (140),
    // whatever element makes it unsafe; nothing is written.
    void unsafeListedPath_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::newRow("parent element") << "/"
                                        << "/../outside.txt";
        QTest::newRow("ends in parent") << "/"
                                        << "/docs/..";
        QTest::newRow("current element") << "/"
                                         << "/docs/./inside.txt";
        QTest::newRow("empty element") << "/"
                                       << "/docs//inside.txt";
        QTest::newRow("NUL") << "/" << QString("/docs/in") + QChar(0) + QString("side.txt");
        // Below a folder other than the top, what lies beside it is outside as well.
        QTest::newRow("sibling folder of the base") << "/docs/sub"
                                                    << "/docs/other/x.txt";
        QTest::newRow("name that extends the base") << "/docs/sub"
                                                    << "/docs/subway.txt";
    }

    void unsafeListedPath()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        if (base == "/") {
            seedAndRun();
        } else {
            m_h->remoteDir = base;
            const bool made = m_h->newSetting();
            m_h->remoteDir.clear();
            QVERIFY(made);
            QVERIFY(m_h->putRemote(base.mid(1) + "/s.txt", "in the base"));
        }
        const SyncHarness::Tree before = m_h->localTree();
        m_h->svc().fault({{"path", "/filesafe/info/"}, {"listing", "path"}, {"listing_path", path}});
        const SyncHarness::Outcome out = m_h->run();
        QCOMPARE(out.end, QString("finished"));
        QList<SyncAction> errors;
        std::copy_if(out.reported.begin(), out.reported.end(), std::back_inserter(errors),
                     [](const SyncAction &a) { return a.isError(); });
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().status(), int(SyncAction::ERR_OBJECT_NOT_IN_BASE));
        QCOMPARE(errors.first().execErrorMsg(),
                 QString("Object path '%1' is not below base path '%2'").arg(path, base));
        QCOMPARE(m_h->localTree(), before);
        QVERIFY(!QFileInfo::exists(QFileInfo(m_h->localDir()).absolutePath() + "/outside.txt"));
    }

private:
    std::unique_ptr<SyncHarness> m_h;

    void seedAndRun()
    {
        QVERIFY(m_h->apply({"R docs/a.txt=remote a", "R docs/deep/b.txt=remote b", "L notes/c.txt=local c",
                            "L d.txt=local d"}));
        QCOMPARE(m_h->run().nFailed, 0);
        COMPARE_TREES(*m_h);
    }

    QStringList remoteFiles() const
    {
        QStringList files;
        const SyncHarness::Tree tree = m_h->remoteTree();
        for (auto it = tree.constBegin(); it != tree.constEnd(); ++it) {
            if (!it.key().endsWith('/')) {
                files << it.key();
            }
        }
        return files;
    }

    static int statusOf(const SyncHarness::Outcome &out, const QString &relPath)
    {
        for (const SyncAction &a : out.reported) {
            if (a.relPath() == relPath) {
                return a.status();
            }
        }
        return -100;
    }
};

QTEST_MAIN(TestSyncGuards)
#include "tst_syncguards.moc"
