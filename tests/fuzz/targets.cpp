#include "AppVersion.h"
#include "api/Errors.h"
#include "api/ISO8601DateParser.h"
#include "api/Models.h"
#include "updates/UpdateChecker.h"

#include <QDirIterator>
#include <QRegularExpression>

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
template<auto decode>
void decoding(const QByteArray &bytes)
{
    static const QRegularExpression ownWords(
        QStringLiteral(R"(^The service sent an unexpected answer \([A-Za-z0-9 .:\[\]]{1,120}\)\.$)"));
    try {
        decode(bytes);
    } catch (const DecodingError &error) {
        require(ownWords.match(error.description()).hasMatch());
    }
}

// Only web pages ever reach the browser.
void release(const QByteArray &body)
{
    if (const std::optional<UpdateAvailable> update = UpdateChecker::evaluateRelease(body, QStringLiteral("1.0")))
        require(update->downloadURL.scheme() == u"https" || update->downloadURL.scheme() == u"http");
}

void errorBody(const QByteArray &body)
{
    const std::optional<QString> message = Models::decodeErrorMessage(body);
    require(APIError::http(500, message).description() == message.value_or(QStringLiteral("Request failed (HTTP 500).")));
}

void date(const QByteArray &bytes)
{
    const std::optional<QDateTime> parsed = ISO8601DateParser::parse(QString::fromUtf8(bytes));
    require(!parsed || (parsed->isValid() && parsed->timeSpec() == Qt::UTC));
    // Written out again (where the year has four digits), it reads as the same moment.
    if (parsed && parsed->date().year() >= 1 && parsed->date().year() <= 9999)
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

using Target = void (*)(const QByteArray &);

Target chosenTarget()
{
    const QHash<QByteArray, Target> targets{
        {"events", decoding<Models::decodeEvents>},       {"requests", decoding<Models::decodeRequests>},
        {"me", decoding<Models::decodeMe>},               {"auth_start", decoding<Models::decodeAuthStart>},
        {"auth_poll", decoding<Models::decodeAuthPoll>},  {"release", decoding<release>},
        {"error_body", errorBody}, {"date", date}, {"version", version}};
    const Target target = targets.value(qgetenv("CUELARK_FUZZ_TARGET"));
    if (!target)
        qFatal("CUELARK_FUZZ_TARGET must name one of: %s", targets.keys().join(' ').constData());
    return target;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Target run = chosenTarget();
    run(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}

#ifndef CUELARK_LIBFUZZER
// Without libFuzzer: runs every file under the given folders once.
int main(int argc, char **argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        for (QDirIterator files(QString::fromLocal8Bit(argv[i]), QDir::Files); files.hasNext(); ++count) {
            QFile file(files.next());
            require(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        }
    }
    qInfo("%d inputs replayed", count);
    return count > 0 ? 0 : 1;
}
#endif
