#pragma once

#include "Router.h"

#include <QJsonArray>

#include <chrono>
#include <functional>

class FaultPlan;
class Store;

// The service's API and its web pages.
void addServiceRoutes(Router &router, Store &store);

// The control API through which tests set the service up and look inside it.
// `pauseListening` makes the service unreachable for a while.
void addControlRoutes(Router &router, Store &store, FaultPlan &faults, QJsonArray &callLog,
                      std::function<void(std::chrono::milliseconds)> pauseListening);
