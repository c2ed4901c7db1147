#include <QDir>
#include <QFile>
#include <QtTest>

int fuzzFilesafeObjects(const uint8_t *data, size_t size);
int fuzzPasswordObjects(const uint8_t *data, size_t size);
int fuzzDownloadStream(const uint8_t *data, size_t size);
int fuzzEnvelope(const uint8_t *data, size_t size);
int fuzzSigninForm(const uint8_t *data, size_t size);
int fuzzListingReader(const uint8_t *data, size_t size);

// Replays every input that a fuzzer once found (tests/fuzz/<target>/) and the seeds
// (tools/fuzz/seeds/<target>/) through the fuzz targets' own checks; a regression aborts.

class TestFuzzRegressions : public QObject
{
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("file");
        const QString root = QStringLiteral(TESSARVALE_SOURCE_DIR);
        int rows = 0;
        for (const QString &base : {root + "/tests/fuzz", root + "/tools/fuzz/seeds"}) {
            for (const QString &target : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                const QDir dir(base + '/' + target);
                for (const QString &name : dir.entryList(QDir::Files)) {
                    QTest::newRow(qPrintable(target + '/' + name)) << target << dir.filePath(name);
                    ++rows;
                }
            }
        }
        QVERIFY(rows > 0);
    }

    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, file);
        const QMap<QString, int (*)(const uint8_t *, size_t)> targets{{"fuzz_filesafe_objects", fuzzFilesafeObjects},
                                                                      {"fuzz_password_objects", fuzzPasswordObjects},
                                                                      {"fuzz_download_stream", fuzzDownloadStream},
                                                                      {"fuzz_envelope", fuzzEnvelope},
                                                                      {"fuzz_signin_form", fuzzSigninForm},
                                                                      {"fuzz_listing_reader", fuzzListingReader}};
        QVERIFY2(targets.contains(target), qPrintable("no replay for " + target));
        QFile input(file);
        QVERIFY(input.open(QIODevice::ReadOnly));
        const QByteArray bytes = input.readAll();
        QCOMPARE(targets.value(target)(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
