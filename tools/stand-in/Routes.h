#pragma once

#include "Router.h"

#include <QJsonArray>

class FaultPlan;
class Store;

// The service's API and its web pages.
void addServiceRoutes(Router &router, Store &store);

// The control API through which tests set the service up and look inside it.
void addControlRoutes(Router &router, Store &store, FaultPlan &faults, QJsonArray &callLog);
