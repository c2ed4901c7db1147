#include "net/Result.h"

#include <QTimer>
#include <QtTest>

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public:
    void on_finished(const Result<int> &result) { received.append(result.code()); }
    void on_empty(const EmptyResult &result) { received.append(result.code()); }

    QList<ErrorCode> received;
};

class DerivedReceiver : public Receiver
{
    Q_OBJECT
};

} // namespace

class TestResult : public QObject
{
    Q_OBJECT
private slots:
    void deliveredWhileReceiverLives()
    {
        // A slot inherited from a base class, bound on the derived receiver.
        DerivedReceiver derived;
        bindResult(&derived, &Receiver::on_empty)(EmptyResult(EC_ABORTED, "Aborted"));
        bindResult(&derived, &Receiver::on_finished)(Result<int>(3));
        QCOMPARE(derived.received, (QList<ErrorCode>{EC_ABORTED, EC_OK}));
    }

    // Run under AddressSanitizer: a call that reached the freed receiver would abort here.
    void droppedAfterReceiverDeleted()
    {
        auto *receiver = new Receiver;
        const ResultCallback<int> callback = bindResult(receiver, &Receiver::on_finished);
        const ResultCallback<Nothing> empty = bindResult(receiver, &Receiver::on_empty);
        delete receiver;
        callback(Result<int>(1));
        empty(EmptyResult(EC_TIMEOUT, "Timeout"));
        bindResult(static_cast<Receiver *>(nullptr), &Receiver::on_finished)(Result<int>(2));

        // A callable bound to a context object is dropped once the context is gone.
        auto *context = new QObject;
        int sum = 0;
        const ResultCallback<int> toContext =
                bindResult<int>(context, [&sum](const Result<int> &r) { sum += r.payload(); });
        toContext(Result<int>(5));
        delete context;
        toContext(Result<int>(7));
        QCOMPARE(sum, 5);

        // The usual way: the reply completes from the event loop after the view has gone away.
        QPointer<Receiver> later = new Receiver;
        Receiver witness;
        const ResultCallback<int> toGone = bindResult(later.data(), &Receiver::on_finished);
        const ResultCallback<int> toWitness = bindResult(&witness, &Receiver::on_finished);
        later->deleteLater();
        QTimer::singleShot(0, this, [toGone, toWitness] {
            toGone(Result<int>(EC_NETWORK, "late"));
            toWitness(Result<int>(EC_NETWORK, "late"));
        });
        QTRY_COMPARE(witness.received.size(), 1);
        QVERIFY(later.isNull());
    }
};

QTEST_GUILESS_MAIN(TestResult)
#include "tst_result.moc"
