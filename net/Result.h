#pragma once

#include "net/ErrorCode.h"
#include "net/Nothing.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <type_traits>

// The outcome of an asynchronous service call: the payload, or a code with a message. A failed
// result carries a default-constructed payload; receivers test the code first.
template<typename T>
class Result
{
public:
    Result() = default;
    explicit Result(const T &payload)
        : m_payload(payload)
    {}
    Result(ErrorCode code, const QString &message)
        : m_code(code)
        , m_message(message)
    {}

    ErrorCode code() const { return m_code; }
    const QString &message() const { return m_message; }
    const T &payload() const { return m_payload; }
    bool isOk() const { return m_code == EC_OK; }

private:
    ErrorCode m_code = EC_OK;
    QString m_message;
    T m_payload{};
};

using EmptyResult = Result<Nothing>;

template<typename T>
using ResultCallback = std::function<void(const Result<T> &)>;

// Binds a receiver's slot through a guarded pointer: a result that arrives after the receiver is
// gone is dropped instead of reaching freed memory. The slot may be inherited from a base class.
template<typename T, typename Receiver, typename Owner>
ResultCallback<T> bindResult(Receiver *receiver, void (Owner::*slot)(const Result<T> &))
{
    static_assert(std::is_base_of<QObject, Receiver>::value, "the receiver must be a QObject");
    static_assert(std::is_base_of<Owner, Receiver>::value, "the slot must belong to the receiver");
    QPointer<Receiver> guard(receiver);
    return [guard, slot](const Result<T> &result) {
        if (Receiver *r = guard.data()) {
            (r->*slot)(result);
        }
    };
}

// The same for slots that take the result by value.
template<typename T, typename Receiver, typename Owner>
ResultCallback<T> bindResult(Receiver *receiver, void (Owner::*slot)(Result<T>))
{
    static_assert(std::is_base_of<QObject, Receiver>::value, "the receiver must be a QObject");
    static_assert(std::is_base_of<Owner, Receiver>::value, "the slot must belong to the receiver");
    QPointer<Receiver> guard(receiver);
    return [guard, slot](const Result<T> &result) {
        if (Receiver *r = guard.data()) {
            (r->*slot)(result);
        }
    };
}

// The same for a callable whose lifetime is tied to a context object.
template<typename T, typename Fn>
ResultCallback<T> bindResult(QObject *context, Fn &&fn)
{
    QPointer<QObject> guard(context);
    return [guard, fn = std::forward<Fn>(fn)](const Result<T> &result) {
        if (guard) {
            fn(result);
        }
    };
}
