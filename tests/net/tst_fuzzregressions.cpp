#include <QDir>
#include <QFile>
#include <QtTest>

int fuzzFilesafeObjects(const uint8_t *data, size_t size);
int fuzzPasswordObjects(const uint8_t *data, size_t size);
int fuzzDownloadStream(const uint8_t *data, size_t size);
int fuzzEnvelope(const uint8_t *data, size_t size);
int fuzzSigninForm(const uint8_t *data, size_t size);

// Replays every input that a fuzzer once found (tests/fuzz/<target>/) and the seeds
// (tools/fuzz/seeds/<target>/) through the fuzz targets' own checks; a regression aborts.
class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

void TestFuzzRegressions::replay_data()
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

void TestFuzzRegressions::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, file);
    QFile input(file);
    QVERIFY(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const size_t size = size_t(bytes.size());
    if (target == "fuzz_filesafe_objects") {
        QCOMPARE(fuzzFilesafeObjects(data, size), 0);
    } else if (target == "fuzz_password_objects") {
        QCOMPARE(fuzzPasswordObjects(data, size), 0);
    } else if (target == "fuzz_download_stream") {
        QCOMPARE(fuzzDownloadStream(data, size), 0);
    } else if (target == "fuzz_envelope") {
        QCOMPARE(fuzzEnvelope(data, size), 0);
    } else if (target == "fuzz_signin_form") {
        QCOMPARE(fuzzSigninForm(data, size), 0);
    } else {
        QFAIL(qPrintable("no replay for " + target));
    }
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
