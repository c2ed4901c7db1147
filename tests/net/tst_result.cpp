#include "net/Result.h"

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
    void on_finished(const Result<Payload> &result) { received.append(result); }
    void on_finishedByValue(Result<Payload> result) { received.append(result); }
    void on_empty(const EmptyResult &result) { codes.append(result.code()); }

    QList<Result<Payload>> received;
    QList<ErrorCode> codes;
};

class DerivedReceiver : public Receiver
{
    Q_OBJECT
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
    void constructions()
    {
        // A failure carries a default payload, whatever the type.
        const Result<Payload> failed(EC_QUOTA_EXCEEDED, "full");
        QVERIFY(!failed.isOk());
        QCOMPARE(failed.payload().number, -1);
        QCOMPARE(Result<qint64>(EC_CLIENT, "x").payload(), qint64(0));
        QString error = "stale";
        QVERIFY(Nothing().fromJson(QJsonObject(), error));
        QVERIFY(error.isEmpty());
    }

    void deliveredWhileReceiverLives()
    {
        Receiver receiver;
        Payload payload;
        payload.number = 3;
        bindResult(&receiver, &Receiver::on_finished)(Result<Payload>(payload));
        bindResult(&receiver, &Receiver::on_finishedByValue)(Result<Payload>(EC_TIMEOUT, "Timeout"));
        QCOMPARE(receiver.received.size(), 2);
        QCOMPARE(receiver.received.at(0).payload().number, 3);
        QCOMPARE(receiver.received.at(1).code(), EC_TIMEOUT);

        // A slot inherited from a base class, bound on the derived receiver.
        DerivedReceiver derived;
        bindResult(&derived, &Receiver::on_empty)(EmptyResult(EC_ABORTED, "Aborted"));
        QCOMPARE(derived.codes, QList<ErrorCode>{EC_ABORTED});
    }

    void droppedAfterReceiverDeleted()
    {
        auto *receiver = new Receiver;
        const ResultCallback<Payload> callback = bindResult(receiver, &Receiver::on_finished);
        const ResultCallback<Nothing> empty = bindResult(receiver, &Receiver::on_empty);
        delete receiver;
        // Neither call may touch the freed receiver; under AddressSanitizer a call would abort here.
        callback(Result<Payload>(Payload()));
        empty(EmptyResult(EC_TIMEOUT, "Timeout"));
        bindResult(static_cast<Receiver *>(nullptr), &Receiver::on_finished)(Result<Payload>(Payload()));

        // A callable bound to a context object is dropped once the context is gone.
        auto *context = new QObject;
        int sum = 0;
        const ResultCallback<int> toContext =
                bindResult<int>(context, [&sum](const Result<int> &r) { sum += r.payload(); });
        toContext(Result<int>(5));
        delete context;
        toContext(Result<int>(7));
        QCOMPARE(sum, 5);
    }

    void droppedAfterDeferredDeletion()
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
        QTRY_COMPARE(witness.received.size(), 1);
        QVERIFY(receiver.isNull());
    }

    void errorCodeTravelsThroughSignals()
    {
        // Queued connections need the type known to the meta-object system.
        Emitter emitter;
        ErrorCode received = EC_OK;
        connect(
                &emitter, &Emitter::error, this, [&received](ErrorCode code, const QString &) { received = code; },
                Qt::QueuedConnection);
        emit emitter.error(EC_SSL_HANDSHAKE, "handshake");
        QTRY_COMPARE(received, EC_SSL_HANDSHAKE);
    }
};

QTEST_GUILESS_MAIN(TestResult)
#include "tst_result.moc"
