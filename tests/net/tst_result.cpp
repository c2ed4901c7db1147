#include "net/Result.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {

struct Payload
{
    QString text = "default";
    int number = -1;
};

class Receiver : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Receiver() override
    {
        // Scribble over the state so a call through a dangling pointer would be seen (and caught
        // by AddressSanitizer as a use after free).
        calls = -1000;
    }

    void on_finished(const Result<Payload> &result)
    {
        ++calls;
        last = result;
    }
    void on_finishedByValue(Result<Payload> result)
    {
        ++calls;
        last = result;
    }
    void on_empty(const EmptyResult &result)
    {
        ++calls;
        lastCode = result.code();
    }

    int calls = 0;
    ErrorCode lastCode = EC_OK;
    Result<Payload> last;
};

class DerivedReceiver : public Receiver
{
    Q_OBJECT

public:
    using Receiver::Receiver;
};

class Emitter : public QObject
{
    Q_OBJECT

signals:
    void error(ErrorCode code, const QString &message);
};

} // namespace

class TestResult : public QObject
{
    Q_OBJECT

private slots:
    void constructions();
    void nothingAlwaysDecodes();
    void deliveredWhileReceiverLives();
    void droppedAfterReceiverDeleted();
    void droppedAfterDeferredDeletion();
    void contextBoundCallable();
    void errorCodeTravelsThroughSignals();
};

void TestResult::constructions()
{
    Payload payload;
    payload.text = "decoded";
    payload.number = 7;
    const Result<Payload> ok(payload);
    QVERIFY(ok.isOk());
    QCOMPARE(ok.code(), EC_OK);
    QVERIFY(ok.message().isEmpty());
    QCOMPARE(ok.payload().text, QString("decoded"));
    QCOMPARE(ok.payload().number, 7);

    const Result<Payload> failed(EC_QUOTA_EXCEEDED, "Response status: code:10907 message: full");
    QVERIFY(!failed.isOk());
    QCOMPARE(failed.code(), EC_QUOTA_EXCEEDED);
    QCOMPARE(failed.message(), QString("Response status: code:10907 message: full"));
    QCOMPARE(failed.payload().text, QString("default"));
    QCOMPARE(failed.payload().number, -1);

    const Result<qint64> failedCount(EC_CLIENT, "Unable to decrypt download file.");
    QCOMPARE(failedCount.payload(), qint64(0));
    const Result<QList<int>> ids(QList<int>{4, 5});
    QCOMPARE(ids.payload(), (QList<int>{4, 5}));

    // Copies are independent values.
    Result<Payload> copy = failed;
    copy = ok;
    QCOMPARE(copy.code(), EC_OK);
    QCOMPARE(failed.code(), EC_QUOTA_EXCEEDED);
}

void TestResult::nothingAlwaysDecodes()
{
    Nothing nothing;
    QVERIFY(nothing.fromJson(QJsonObject()));
    QVERIFY(nothing.fromJson(QJsonObject{{"anything", 1}}));
    QVERIFY(nothing.errorString().isEmpty());
    QString error = "stale";
    QVERIFY(nothing.fromJson(QJsonObject(), error));
    QVERIFY(error.isEmpty());
}

void TestResult::deliveredWhileReceiverLives()
{
    Receiver receiver;
    Payload payload;
    payload.number = 3;
    const ResultCallback<Payload> byRef = bindResult(&receiver, &Receiver::on_finished);
    const ResultCallback<Payload> byValue = bindResult(&receiver, &Receiver::on_finishedByValue);
    byRef(Result<Payload>(payload));
    QCOMPARE(receiver.calls, 1);
    QCOMPARE(receiver.last.payload().number, 3);
    byValue(Result<Payload>(EC_TIMEOUT, "Timeout"));
    QCOMPARE(receiver.calls, 2);
    QCOMPARE(receiver.last.code(), EC_TIMEOUT);

    // A slot inherited from a base class, bound on the derived receiver.
    DerivedReceiver derived;
    const ResultCallback<Nothing> empty = bindResult(&derived, &Receiver::on_empty);
    empty(EmptyResult(EC_ABORTED, "Aborted"));
    QCOMPARE(derived.calls, 1);
    QCOMPARE(derived.lastCode, EC_ABORTED);
}

void TestResult::droppedAfterReceiverDeleted()
{
    auto *receiver = new Receiver;
    const ResultCallback<Payload> callback = bindResult(receiver, &Receiver::on_finished);
    const ResultCallback<Nothing> empty = bindResult(receiver, &Receiver::on_empty);
    delete receiver;
    // Neither call may touch the freed receiver; under AddressSanitizer a call would abort here.
    callback(Result<Payload>(Payload()));
    empty(EmptyResult(EC_TIMEOUT, "Timeout"));

    const ResultCallback<Payload> unbound = bindResult(static_cast<Receiver *>(nullptr), &Receiver::on_finished);
    unbound(Result<Payload>(Payload()));
}

void TestResult::droppedAfterDeferredDeletion()
{
    // The usual way: the reply completes from the event loop after the view has gone away.
    QPointer<Receiver> receiver = new Receiver;
    Receiver witness;
    const ResultCallback<Payload> toGone = bindResult(receiver.data(), &Receiver::on_finished);
    const ResultCallback<Payload> toWitness = bindResult(&witness, &Receiver::on_finished);
    receiver->deleteLater();
    QTimer::singleShot(0, this, [toGone, toWitness] {
        toGone(Result<Payload>(EC_NETWORK, "late"));
        toWitness(Result<Payload>(EC_NETWORK, "late"));
    });
    QTRY_COMPARE(witness.calls, 1);
    QVERIFY(receiver.isNull());
    QCOMPARE(witness.last.message(), QString("late"));
}

void TestResult::contextBoundCallable()
{
    auto *context = new QObject;
    int calls = 0;
    const ResultCallback<int> callback =
            bindResult<int>(context, [&calls](const Result<int> &r) { calls += r.payload(); });
    callback(Result<int>(5));
    QCOMPARE(calls, 5);
    delete context;
    callback(Result<int>(7));
    QCOMPARE(calls, 5);
}

void TestResult::errorCodeTravelsThroughSignals()
{
    // Requests report failures by a signal carrying the code; spies and queued connections need
    // the type known to the meta-object system.
    Emitter emitter;
    QSignalSpy spy(&emitter, &Emitter::error);
    QVERIFY(spy.isValid());
    ErrorCode received = EC_OK;
    connect(
            &emitter, &Emitter::error, this, [&received](ErrorCode code, const QString &) { received = code; },
            Qt::QueuedConnection);
    emit emitter.error(EC_SSL_HANDSHAKE, "handshake");
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<ErrorCode>(), EC_SSL_HANDSHAKE);
    QTRY_COMPARE(received, EC_SSL_HANDSHAKE);
}

QTEST_GUILESS_MAIN(TestResult)
#include "tst_result.moc"
