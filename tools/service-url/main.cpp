// Prints the address of the service the app of this build talks to, read as
// the app reads it (GlassesAPIClient::defaultServiceUrl, the address AppState
// and every request start from), and whether the build counts it as the real
// service (AppConfig::realService). The release_package test runs it.
#include "AppConfig.h"
#include "api/GlassesAPIClient.h"

#include <QTextStream>

int main()
{
    QTextStream out(stdout);
    out << GlassesAPIClient::defaultServiceUrl().toString(QUrl::FullyEncoded) << ' '
        << (AppConfig::realService ? "real" : "other") << '\n';
    return 0;
}
