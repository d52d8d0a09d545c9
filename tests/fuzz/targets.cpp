#include "AppVersion.h"
#include "api/Errors.h"
#include "api/ISO8601DateParser.h"
#include "api/Models.h"
#include "updates/UpdateChecker.h"

#include <QRegularExpression>

#include <cstdlib>
#include <cstring>

// Fuzz targets for every reader of text from the service, picked by the
// environment variable CUELARK_FUZZ_TARGET. Each aborts when a rule it must keep
// is broken; a crash, a sanitizer report or any exception but DecodingError is a
// finding too.

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// A decoding error names our own fields and positions only, never the body.
void decoding(void (*decode)(const QByteArray &), const QByteArray &bytes)
{
    static const QRegularExpression ownWords(QStringLiteral(
        R"(^The service sent an unexpected answer \([A-Za-z0-9 .:\[\]]{1,120}\)\.$)"));
    try {
        decode(bytes);
    } catch (const DecodingError &error) {
        require(ownWords.match(error.description()).hasMatch());
    }
}

void release(const QByteArray &body)
{
    // Only web pages ever reach the browser.
    if (const std::optional<UpdateAvailable> update = UpdateChecker::evaluateRelease(body, QStringLiteral("1.0")))
        require(update->downloadURL.scheme() == u"https" || update->downloadURL.scheme() == u"http");
}

void errorBody(const QByteArray &body)
{
    const std::optional<QString> message = Models::decodeErrorMessage(body);
    const QString text = APIError::http(500, message).description();
    require(message ? text == *message : text == u"Request failed (HTTP 500).");
}

void date(const QByteArray &bytes)
{
    const std::optional<QDateTime> parsed = ISO8601DateParser::parse(QString::fromUtf8(bytes));
    if (!parsed)
        return;
    require(parsed->isValid() && parsed->timeSpec() == Qt::UTC);
    // Written out again (where the year has four digits), it reads as the same moment.
    if (parsed->date().year() >= 1 && parsed->date().year() <= 9999)
        require(ISO8601DateParser::parse(parsed->toString(Qt::ISODateWithMs)) == parsed);
}

// Two versions split at the first line feed: the order must be consistent.
void version(const QByteArray &bytes)
{
    const qsizetype cut = bytes.indexOf('\n');
    const QString a = QString::fromUtf8(bytes.left(cut));
    const QString b = cut < 0 ? QString() : QString::fromUtf8(bytes.mid(cut + 1));
    const int order = AppVersion::compare(a, b);
    require(order >= -1 && order <= 1 && AppVersion::compare(b, a) == -order && AppVersion::compare(a, a) == 0);
}

template<typename Record, Record (*decode)(const QByteArray &)>
void record(const QByteArray &bytes)
{
    decoding([](const QByteArray &body) { decode(body); }, bytes);
}

using Target = void (*)(const QByteArray &);

Target chosenTarget()
{
    const struct {
        const char *name;
        Target run;
    } targets[] = {
        {"events", record<EventsResponse, Models::decodeEvents>},
        {"requests", record<RequestsResponse, Models::decodeRequests>},
        {"me", record<MeResponse, Models::decodeMe>},
        {"auth_start", record<AuthStartResponse, Models::decodeAuthStart>},
        {"auth_poll", record<AuthPollResponse, Models::decodeAuthPoll>},
        {"release", [](const QByteArray &bytes) { decoding(release, bytes); }},
        {"error_body", errorBody},
        {"date", date},
        {"version", version},
    };
    const char *wanted = std::getenv("CUELARK_FUZZ_TARGET");
    for (const auto &target : targets) {
        if (wanted && std::strcmp(wanted, target.name) == 0)
            return target.run;
    }
    std::fprintf(stderr, "CUELARK_FUZZ_TARGET must name one of the targets\n");
    std::exit(2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Target run = chosenTarget();
    run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
