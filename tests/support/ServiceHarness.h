#pragma once

#include "AppState.h"
#include "support/StandIn.h"
#include "support/TestSupport.h"

#include <memory>

// The stand-in service, fake desktop services and the AppState under test, torn
// down in an order that lets every suspended flow wind down first.
struct ServiceHarness {
    explicit ServiceHarness(const QStringList &serviceArgs = {});
    ~ServiceHarness();

    AppState &start(double waitScale);
    // With a valid stored token; returns once the first refresh cycle and the
    // update check after it are done.
    // The pause between cycles is hours long unless `waitScale` says otherwise.
    AppState &startSignedIn(double waitScale = 1000);

    // The next `count` calls on paths starting with `path` (other faults:
    // `service->inject`) are answered with `body` and HTTP 200 (answerNext),
    // with `status` and an error text `delayMs` late (failNext), or with the
    // service's own answer `delayMs` late (delayNext).
    void answerNext(const QString &path, const QJsonObject &body, int count = 1);
    void failNext(const QString &path, int status, int delayMs = 0, int count = 1);
    void delayNext(const QString &path, int delayMs, int count = 1);

    qint64 addRequest(const QString &title, qint64 eventId);
    QStringList calls() { return service->calls(); } // "METHOD /path" of every API call so far
    qsizetype countCalls(const QString &call) { return calls().count(call); }
    void clearCalls() { service->clearCalls(); }

    std::unique_ptr<StandIn> service;
    FakeDesktop desktop;
    std::unique_ptr<AppState> state;
};
