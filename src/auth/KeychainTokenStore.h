#pragma once

#include <QString>

#include <optional>

#include <qcoro/qcorotask.h>

// The bearer token as one item in the desktop's secret store (Secret Service):
// service = the application identifier, key "glasses-bearer-token", data = the
// token's UTF-8 bytes. Never written anywhere else. Failures are silent.
namespace KeychainTokenStore {
// Completes when the secret store answers, or after a few seconds without an
// answer; absent when there is no item, the store is unreachable or locked, or
// the data is not UTF-8. Never blocks the caller.
QCoro::Task<std::optional<QString>> load();
// Replace the stored token (delete, then add). Runs asynchronously; jobs run in
// the order they were issued.
void save(const QString &token);
void clear();
} // namespace KeychainTokenStore
