#pragma once

#include "net/Result.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>
#include <utility>

// Starts an asynchronous call with a completion callback and processes events until it answers;
// a call that never answers gives EC_TIMEOUT.
template<typename T, typename Start>
Result<T> awaitResult(Start start, int timeoutMs = 15000)
{
    auto outcome = std::make_shared<std::pair<bool, Result<T>>>(false, Result<T>(EC_TIMEOUT, "no answer"));
    start([outcome](const Result<T> &r) { *outcome = {true, r}; });
    QElapsedTimer timer;
    timer.start();
    while (!outcome->first && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return outcome->second;
}
