// logind and NetworkManager on the private system bus of bench/run.sh, so that
// the programs measured subscribe to them as on a laptop. Like NetworkManager
// after each connectivity check, it announces its state every
// CUELARK_FAKE_SYSTEM_ANNOUNCE seconds (default 60; 0 never).

#include "support/FakeSystemServices.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    FakeSystemServices system;
    if (!system.isRegistered()) {
        std::fputs("cuelark-fake-system: cannot own logind's and NetworkManager's names on the system bus\n", stderr);
        return 1;
    }
    QTimer announce;
    const int seconds = qEnvironmentVariableIsSet("CUELARK_FAKE_SYSTEM_ANNOUNCE")
        ? qEnvironmentVariableIntValue("CUELARK_FAKE_SYSTEM_ANNOUNCE") : 60;
    if (seconds > 0) {
        QObject::connect(&announce, &QTimer::timeout, [&system] { system.setNetworkState(70); });
        announce.start(seconds * 1000);
    }
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
