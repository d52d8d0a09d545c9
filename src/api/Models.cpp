#include "api/Models.h"

#include "api/Errors.h"
#include "api/ISO8601DateParser.h"

#include <QHashFunctions>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringDecoder>

#include <charconv>
#include <vector>

// ---- Derived values and identity -------------------------------------------

bool DJEvent::isLive(const QDateTime &now) const
{
    if (isActive)
        return true;
    const std::optional<QDateTime> start = ISO8601DateParser::parse(startDate);
    if (!start)
        return false;
    // Without a readable end the event counts as running for twelve hours.
    constexpr qint64 defaultDurationSeconds = 12 * 60 * 60;
    const std::optional<QDateTime> end = endDate ? ISO8601DateParser::parse(*endDate) : std::nullopt;
    const QDateTime last = end ? *end : start->addSecs(defaultDurationSeconds);
    return *start <= now && now <= last;
}

QString DJEvent::displayDate() const
{
    const std::optional<QDateTime> start = ISO8601DateParser::parse(startDate);
    if (!start)
        return QStringLiteral("\u2014");
    static const QLocale menuLocale(QLocale::English, QLocale::UnitedStates);
    return menuLocale.toString(start->toLocalTime(), QStringLiteral("MMM d, yyyy"));
}

QString DJEvent::pickerLabel(const QDateTime &now) const
{
    const QString prefix = isLive(now) ? QStringLiteral("\u25CF ") : QString();
    return prefix + name + QStringLiteral(" \u00B7 ") + displayDate();
}

size_t qHash(const DJEvent &event, size_t seed) noexcept
{
    // The presence marker keeps an absent end apart from an empty one.
    const size_t hash = qHashMulti(seed, event.id, event.name, event.isActive, event.startDate,
                                   int(event.endDate.has_value()));
    return event.endDate ? qHashMulti(hash, *event.endDate) : hash;
}

size_t qHash(const SongRequest &request, size_t seed) noexcept
{
    return qHashMulti(seed, request.id, request.status, request.songTitle, request.artistName,
                      request.createdAt);
}

QString wireString(RequestAction action)
{
    switch (action) {
    case RequestAction::approved:
        return QStringLiteral("approved");
    case RequestAction::rejected:
        return QStringLiteral("rejected");
    case RequestAction::pending:
        return QStringLiteral("pending");
    }
    Q_UNREACHABLE();
}

// ---- Strict JSON reading ---------------------------------------------------
//
// QJsonDocument turns every number into a double-backed value: it cannot tell 5
// from 5.0 and silently clamps or drops integers beyond the 64-bit range. Ids
// must be exact, so this reader keeps each number as the literal the service
// wrote and converts it only where a record expects an Int.

namespace {

QString unexpectedAnswer(const QString &detail)
{
    return QStringLiteral("The service sent an unexpected answer (%1).").arg(detail);
}

struct JsonMember;

struct JsonValue {
    enum class Type { null, boolean, number, string, array, object };
    Type type = Type::null;
    bool boolean = false;
    QByteArray numberLiteral;
    QString string;
    std::vector<JsonValue> elements;
    std::vector<JsonMember> members;
};

struct JsonMember {
    QString key;
    JsonValue value;
};

class JsonReader {
public:
    explicit JsonReader(const QByteArray &bytes) : m_bytes(bytes) {}

    JsonValue readDocument()
    {
        JsonValue value = readValue(0);
        skipWhitespace();
        if (m_pos != m_bytes.size())
            fail();
        return value;
    }

private:
    // Deep enough for any real answer, shallow enough that hostile nesting
    // cannot exhaust the stack.
    static constexpr int maxDepth = 256;

    [[noreturn]] void fail() const
    {
        throw DecodingError(unexpectedAnswer(QStringLiteral("malformed JSON at byte %1").arg(m_pos)));
    }

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    char peek() const { return atEnd() ? '\0' : m_bytes.at(m_pos); }

    void skipWhitespace()
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++m_pos;
    }

    void expect(char c)
    {
        if (peek() != c)
            fail();
        ++m_pos;
    }

    void expectWord(const char *word)
    {
        for (; *word; ++word)
            expect(*word);
    }

    JsonValue readValue(int depth)
    {
        if (depth > maxDepth)
            fail();
        skipWhitespace();
        JsonValue value;
        switch (peek()) {
        case '{':
            value.type = JsonValue::Type::object;
            value.members = readObject(depth);
            break;
        case '[':
            value.type = JsonValue::Type::array;
            value.elements = readArray(depth);
            break;
        case '"':
            value.type = JsonValue::Type::string;
            value.string = readString();
            break;
        case 't':
            expectWord("true");
            value.type = JsonValue::Type::boolean;
            value.boolean = true;
            break;
        case 'f':
            expectWord("false");
            value.type = JsonValue::Type::boolean;
            break;
        case 'n':
            expectWord("null");
            break;
        default:
            value.type = JsonValue::Type::number;
            value.numberLiteral = readNumber();
        }
        return value;
    }

    std::vector<JsonMember> readObject(int depth)
    {
        expect('{');
        std::vector<JsonMember> members;
        skipWhitespace();
        if (peek() == '}') {
            ++m_pos;
            return members;
        }
        for (;;) {
            skipWhitespace();
            QString key = readString();
            skipWhitespace();
            expect(':');
            members.push_back({std::move(key), readValue(depth + 1)});
            skipWhitespace();
            if (peek() == '}') {
                ++m_pos;
                return members;
            }
            expect(',');
        }
    }

    std::vector<JsonValue> readArray(int depth)
    {
        expect('[');
        std::vector<JsonValue> elements;
        skipWhitespace();
        if (peek() == ']') {
            ++m_pos;
            return elements;
        }
        for (;;) {
            elements.push_back(readValue(depth + 1));
            skipWhitespace();
            if (peek() == ']') {
                ++m_pos;
                return elements;
            }
            expect(',');
        }
    }

    bool isDigit() const { return peek() >= '0' && peek() <= '9'; }

    void readDigits()
    {
        if (!isDigit())
            fail();
        while (isDigit())
            ++m_pos;
    }

    QByteArray readNumber()
    {
        const qsizetype start = m_pos;
        if (peek() == '-')
            ++m_pos;
        if (peek() == '0')
            ++m_pos;
        else
            readDigits();
        if (peek() == '.') {
            ++m_pos;
            readDigits();
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-')
                ++m_pos;
            readDigits();
        }
        return m_bytes.mid(start, m_pos - start);
    }

    int readHexQuad()
    {
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            const int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                                   : -1;
            if (digit < 0)
                fail();
            value = value * 16 + digit;
            ++m_pos;
        }
        return value;
    }

    char32_t readEscapedCodePoint()
    {
        const int unit = readHexQuad();
        if (QChar::isLowSurrogate(unit))
            fail();
        if (!QChar::isHighSurrogate(unit))
            return char32_t(unit);
        expectWord("\\u");
        const int low = readHexQuad();
        if (!QChar::isLowSurrogate(low))
            fail();
        return QChar::surrogateToUcs4(char16_t(unit), char16_t(low));
    }

    // Collects the text as UTF-8 (escapes re-encoded) and decodes it once, so
    // that invalid UTF-8 from the wire is refused rather than replaced.
    QString readString()
    {
        expect('"');
        QByteArray utf8;
        for (;;) {
            if (atEnd())
                fail();
            const char c = m_bytes.at(m_pos);
            if (static_cast<unsigned char>(c) < 0x20)
                fail();
            ++m_pos;
            if (c == '"')
                break;
            if (c != '\\') {
                utf8.append(c);
                continue;
            }
            const char escape = peek();
            ++m_pos;
            switch (escape) {
            case '"': utf8.append('"'); break;
            case '\\': utf8.append('\\'); break;
            case '/': utf8.append('/'); break;
            case 'b': utf8.append('\b'); break;
            case 'f': utf8.append('\f'); break;
            case 'n': utf8.append('\n'); break;
            case 'r': utf8.append('\r'); break;
            case 't': utf8.append('\t'); break;
            case 'u': {
                const char32_t codePoint = readEscapedCodePoint();
                utf8.append(QString::fromUcs4(&codePoint, 1).toUtf8());
                break;
            }
            default:
                --m_pos;
                fail();
            }
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(utf8);
        if (decoder.hasError())
            fail();
        return text;
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
};

// ---- Record rules ----------------------------------------------------------

// Reads the members of one JSON object of a record; `path` names the object in
// error texts ("events[2]"), built from our own field names and indices only so
// that no text of the body is ever echoed.
class RecordReader {
public:
    RecordReader(const JsonValue &value, QString path) : m_path(std::move(path))
    {
        if (value.type != JsonValue::Type::object)
            throw DecodingError(unexpectedAnswer(m_path.isEmpty()
                                                     ? QStringLiteral("expected a JSON object")
                                                     : QStringLiteral("%1: expected an object").arg(m_path)));
        m_members = &value.members;
    }

    qint64 requiredInt(QLatin1String key) const
    {
        const JsonValue &value = required(key);
        // The service writes integers plainly; a fraction or an exponent (even
        // 5.0 or 1e3) means the field is not the integer this record expects.
        if (value.type != JsonValue::Type::number || value.numberLiteral.contains('.')
            || value.numberLiteral.contains('e') || value.numberLiteral.contains('E'))
            fail(key, "expected a whole number");
        qint64 number = 0;
        const QByteArray &literal = value.numberLiteral;
        const auto [end, error] = std::from_chars(literal.cbegin(), literal.cend(), number);
        if (error != std::errc() || end != literal.cend())
            fail(key, "number out of range");
        return number;
    }

    bool requiredBool(QLatin1String key) const
    {
        const JsonValue &value = required(key);
        if (value.type != JsonValue::Type::boolean)
            fail(key, "expected a boolean");
        return value.boolean;
    }

    QString requiredString(QLatin1String key) const { return string(key, required(key)); }

    std::optional<QString> optionalString(QLatin1String key) const
    {
        const JsonValue *value = find(key);
        if (!value || value->type == JsonValue::Type::null)
            return std::nullopt;
        return string(key, *value);
    }

    // One bad element fails the whole record: there are no partial lists.
    template <typename Element, typename DecodeElement>
    QList<Element> requiredArray(QLatin1String key, DecodeElement decodeElement) const
    {
        const JsonValue &value = required(key);
        if (value.type != JsonValue::Type::array)
            fail(key, "expected a list");
        QList<Element> list;
        list.reserve(qsizetype(value.elements.size()));
        for (size_t i = 0; i < value.elements.size(); ++i)
            list.append(decodeElement(RecordReader(value.elements[i],
                                                   QStringLiteral("%1[%2]").arg(pathOf(key), QString::number(i)))));
        return list;
    }

private:
    QString pathOf(QLatin1String key) const
    {
        return m_path.isEmpty() ? QString(key) : m_path + u'.' + key;
    }

    [[noreturn]] void fail(QLatin1String key, const char *problem) const
    {
        throw DecodingError(unexpectedAnswer(pathOf(key) + QStringLiteral(": ") + QLatin1String(problem)));
    }

    // Of repeated keys the last counts, as with most JSON readers.
    const JsonValue *find(QLatin1String key) const
    {
        for (auto member = m_members->rbegin(); member != m_members->rend(); ++member) {
            if (member->key == key)
                return &member->value;
        }
        return nullptr;
    }

    const JsonValue &required(QLatin1String key) const
    {
        const JsonValue *value = find(key);
        if (!value || value->type == JsonValue::Type::null)
            fail(key, "missing");
        return *value;
    }

    QString string(QLatin1String key, const JsonValue &value) const
    {
        if (value.type != JsonValue::Type::string)
            fail(key, "expected a string");
        return value.string;
    }

    QString m_path;
    const std::vector<JsonMember> *m_members = nullptr;
};

template <typename Record, typename DecodeRecord>
Record decodeBody(const QByteArray &body, DecodeRecord decodeRecord)
{
    const JsonValue document = JsonReader(body).readDocument();
    return decodeRecord(RecordReader(document, QString()));
}

DJEvent readEvent(const RecordReader &reader)
{
    return DJEvent{
        .id = reader.requiredInt(QLatin1String("id")),
        .name = reader.requiredString(QLatin1String("name")),
        .isActive = reader.requiredBool(QLatin1String("isActive")),
        .startDate = reader.requiredString(QLatin1String("startDate")),
        .endDate = reader.optionalString(QLatin1String("endDate")),
    };
}

SongRequest readSongRequest(const RecordReader &reader)
{
    return SongRequest{
        .id = reader.requiredInt(QLatin1String("id")),
        .status = reader.requiredString(QLatin1String("status")),
        .songTitle = reader.requiredString(QLatin1String("songTitle")),
        .artistName = reader.requiredString(QLatin1String("artistName")),
        .createdAt = reader.requiredString(QLatin1String("createdAt")),
    };
}

QByteArray encodeOneMember(const QString &key, const QString &value)
{
    return QJsonDocument(QJsonObject{{key, value}}).toJson(QJsonDocument::Compact);
}

} // namespace

namespace Models {

EventsResponse decodeEvents(const QByteArray &body)
{
    return decodeBody<EventsResponse>(body, [](const RecordReader &reader) {
        return EventsResponse{.events = reader.requiredArray<DJEvent>(QLatin1String("events"), readEvent)};
    });
}

RequestsResponse decodeRequests(const QByteArray &body)
{
    return decodeBody<RequestsResponse>(body, [](const RecordReader &reader) {
        return RequestsResponse{
            .requests = reader.requiredArray<SongRequest>(QLatin1String("requests"), readSongRequest),
            .totalPending = reader.requiredInt(QLatin1String("totalPending")),
        };
    });
}

MeResponse decodeMe(const QByteArray &body)
{
    return decodeBody<MeResponse>(body, [](const RecordReader &reader) {
        return MeResponse{
            .userId = reader.requiredString(QLatin1String("userId")),
            .name = reader.optionalString(QLatin1String("name")),
        };
    });
}

AuthStartResponse decodeAuthStart(const QByteArray &body)
{
    return decodeBody<AuthStartResponse>(body, [](const RecordReader &reader) {
        return AuthStartResponse{
            .sessionId = reader.requiredString(QLatin1String("sessionId")),
            .pollToken = reader.requiredString(QLatin1String("pollToken")),
            .authUrl = reader.requiredString(QLatin1String("authUrl")),
            .expiresAt = reader.requiredString(QLatin1String("expiresAt")),
        };
    });
}

AuthPollResponse decodeAuthPoll(const QByteArray &body)
{
    return decodeBody<AuthPollResponse>(body, [](const RecordReader &reader) {
        return AuthPollResponse{
            .status = reader.requiredString(QLatin1String("status")),
            .token = reader.optionalString(QLatin1String("token")),
        };
    });
}

QByteArray encodeStartBody(const QString &redirect)
{
    return encodeOneMember(QStringLiteral("redirect"), redirect);
}

QByteArray encodeUpdateBody(RequestAction action)
{
    return encodeOneMember(QStringLiteral("status"), wireString(action));
}

} // namespace Models
