// cuelark-stand-in: an in-memory stand-in for the Cuelark web service on a
// local port, for the demo, the tests and the benchmarks.

#include "Server.h"
#include "Store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslKey>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

struct Options {
    QHostAddress host;
    quint16 port;
    quint64 seed;
    qint64 audienceIntervalSeconds;
    qint64 sessionTtlSeconds;
    ReleaseSettings release;
    QStringList tokens;
    QString certificatePath;
    QString keyPath;
};

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "cuelark-stand-in: %s\n", qUtf8Printable(message));
    std::exit(2);
}

qint64 number(const QCommandLineParser &parser, const QString &name, qint64 minimum, qint64 maximum)
{
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        fail(u"--%1 must be a whole number from %2 to %3"_s.arg(name).arg(minimum).arg(maximum));
    return value;
}

// What --help says: the service this stands in for, its output and its control API.
QString description()
{
    return
        u"Stand-in for the Cuelark web service: the DJ's \"glasses\" API, the browser sign-in "
        "pages and the release record, in memory, on a local port.\n\n"
        "Prints \"listening on URL\" once it listens, then one line \"METHOD /path STATUS\" per "
        "call. Tests steer it through a control API; bodies are JSON objects:\n"
        "  POST /control/tokens            issue a token for the DJ: {\"token\":...}\n"
        "  POST /control/revoke            {\"token\":T} revokes T; {} revokes every token\n"
        "  POST /control/requests          {\"songTitle\",\"artistName\"[,\"status\",\"eventId\"]}\n"
        "  POST /control/release           the release record to serve, kept byte for byte\n"
        "  POST /control/expire-sessions   every open sign-in session expires\n"
        "  GET|DELETE /control/log         the API calls served so far / forget them: method,\n"
        "                                  path, query, status, body, the authorization,\n"
        "                                  content type, poll token and user agent headers (null\n"
        "                                  when not sent), and connection (numbered from 1)\n"
        "  POST /control/pause             {\"ms\":N}: stop listening and close every connection\n"
        "                                  for N ms (1-600000), then listen on the same port\n"
        "  POST /control/inject            disturb the next API calls (/api/..., /mac-app/...):\n"
        "    path          prefix of the paths it applies to (default: all)\n"
        "    count         how many calls it applies to, oldest fault first (default 1)\n"
        "    status        answer this status instead, with body (text) or bodyBase64 (raw\n"
        "                  bytes: not UTF-8, cut JSON) and contentType (default application/json)\n"
        "    location      with a status: send this Location header (a redirect anywhere)\n"
        "    delayMs       answer this much later (0-600000)\n"
        "    drop          true: reset the connection without answering (and the client's\n"
        "                  immediate resend of the same call, which Qt makes once)\n"
        "    truncate      true: announce the whole body, send half of it, close\n"
        "    chunked       true (with a status): send the body chunked, its length unannounced\n"
        "    redirectLoop  true: 302 to the very same address; each hop uses one of count,\n"
        "                  so a count above the client's limit (Qt: 50) loops for good\n"
        "  DELETE /control/inject          forget the faults not yet used\n\n"
        "TLS: --cert tests/data/expired-cert.pem --key tests/data/expired-key.pem (in the source "
        "tree) serves a self-signed certificate for 127.0.0.1 that expired in 2020: the handshake fails "
        "with \"certificate has expired\" even for a client that trusts it."_s;
}

Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addOptions({
        {u"host"_s, u"Address to listen on (default 127.0.0.1)."_s, u"ADDR"_s, u"127.0.0.1"_s},
        {u"port"_s, u"Port to listen on; 0 picks a free one (default 8787)."_s, u"N"_s, u"8787"_s},
        {u"seed"_s, u"Seed of sign-in sessions and issued tokens (default 1)."_s, u"N"_s, u"1"_s},
        {u"audience-interval"_s,
         u"Every SECONDS the audience adds a pending request to the live event "
         "(default 0: never)."_s,
         u"SECONDS"_s, u"0"_s},
        {u"session-ttl"_s, u"Lifetime of a browser sign-in session (default 600)."_s, u"SECONDS"_s, u"600"_s},
        {u"release-version"_s, u"Version of the published release (default 1.0.0)."_s, u"V"_s, u"1.0.0"_s},
        {u"release-notes"_s, u"Notes of the published release."_s, u"TEXT"_s,
         u"Faster refresh and clearer notifications."_s},
        {u"token"_s, u"A bearer token accepted from the start for the DJ (repeatable)."_s, u"TOKEN"_s},
        {u"cert"_s, u"PEM certificate: serve HTTPS (needs --key)."_s, u"FILE"_s},
        {u"key"_s, u"PEM private key of --cert."_s, u"FILE"_s},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        fail(u"unexpected argument %1"_s.arg(parser.positionalArguments().constFirst()));

    Options options;
    if (!options.host.setAddress(parser.value(u"host"_s)))
        fail(u"--host must be an IP address"_s);
    options.port = quint16(number(parser, u"port"_s, 0, 65535));
    options.seed = quint64(number(parser, u"seed"_s, 0, std::numeric_limits<qint64>::max()));
    options.audienceIntervalSeconds = number(parser, u"audience-interval"_s, 0, 86400);
    options.sessionTtlSeconds = number(parser, u"session-ttl"_s, 0, 365 * 86400);
    options.release = {parser.value(u"release-version"_s), parser.value(u"release-notes"_s)};
    options.tokens = parser.values(u"token"_s);
    options.certificatePath = parser.value(u"cert"_s);
    options.keyPath = parser.value(u"key"_s);
    if (options.certificatePath.isEmpty() != options.keyPath.isEmpty())
        fail(u"--cert and --key go together"_s);
    return options;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(u"cannot read %1: %2"_s.arg(path, file.errorString()));
    return file.readAll();
}

void setUpTls(Server &server, const Options &options)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromData(readFile(options.certificatePath));
    if (chain.isEmpty())
        fail(u"no PEM certificate in %1"_s.arg(options.certificatePath));
    const QByteArray keyData = readFile(options.keyPath);
    QSslKey key(keyData, QSsl::Rsa);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Ec);
    if (key.isNull())
        fail(u"no PEM RSA or EC private key in %1"_s.arg(options.keyPath));
    server.sslSetup(chain.constFirst(), key);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"cuelark-stand-in"_s);
    const Options options = parseOptions(app);

    Store store(options.seed, options.sessionTtlSeconds, options.release);
    for (const QString &token : options.tokens)
        store.acceptToken(token);

    Server server(store);
    if (!options.certificatePath.isEmpty())
        setUpTls(server, options);
    const quint16 port = server.listen(options.host, options.port);
    if (port == 0) {
        std::fprintf(stderr, "cuelark-stand-in: cannot listen on %s port %u\n",
                     qUtf8Printable(options.host.toString()), unsigned(options.port));
        return 1;
    }
    QUrl origin;
    origin.setScheme(options.certificatePath.isEmpty() ? u"http"_s : u"https"_s);
    origin.setHost(options.host.toString());
    origin.setPort(port);
    server.setOrigin(origin.toString());
    std::printf("listening on %s\n", qUtf8Printable(origin.toString()));
    std::fflush(stdout);

    QTimer audience;
    if (options.audienceIntervalSeconds > 0) {
        QObject::connect(&audience, &QTimer::timeout, &audience, [&store] { store.addAudienceRequest(); });
        audience.start(std::chrono::seconds(options.audienceIntervalSeconds));
    }
    return app.exec();
}
