#include "api/Json.h"

#include <QStringDecoder>

#include <cmath>
#include <limits>

namespace {

constexpr int maxDepth = 256;

// The library's document builder with a count of the containers open: the
// parser itself keeps no depth limit. (Its callback parser could count as
// well, but rescans the enclosing container after each one closes, which
// makes a long list of objects quadratic.)
class DepthLimitedBuilder : public nlohmann::detail::json_sax_dom_parser<Json::Document> {
public:
    using json_sax_dom_parser::json_sax_dom_parser;

    bool start_object(std::size_t size)
    {
        enter();
        return json_sax_dom_parser::start_object(size);
    }
    bool start_array(std::size_t size)
    {
        enter();
        return json_sax_dom_parser::start_array(size);
    }
    bool end_object()
    {
        --m_depth;
        return json_sax_dom_parser::end_object();
    }
    bool end_array()
    {
        --m_depth;
        return json_sax_dom_parser::end_array();
    }

private:
    void enter()
    {
        if (m_depth >= maxDepth)
            throw DecodingError(QStringLiteral("nested too deeply"));
        ++m_depth;
    }

    int m_depth = 0;
};

} // namespace

Json::Document Json::parse(const QByteArray &body)
{
    Json::Document document;
    DepthLimitedBuilder builder(document);
    try {
        Document::sax_parse(body.cbegin(), body.cend(), &builder);
        return document;
    } catch (const nlohmann::json::parse_error &error) {
        // Its own text quotes the body; only the position is passed on.
        throw DecodingError(QStringLiteral("malformed JSON at byte %1").arg(error.byte));
    } catch (const nlohmann::json::exception &) {
        // A number beyond the range of a double, anywhere in the body.
        throw DecodingError(QStringLiteral("number out of range"));
    }
}

RecordReader::RecordReader(const Json::Document &value, const RecordReader *list, const char *key, qsizetype index)
    : m_object(value), m_list(list), m_key(key), m_index(index)
{
    if (!value.is_object())
        throw DecodingError(m_list ? path() + QStringLiteral(": expected an object")
                                   : QStringLiteral("expected a JSON object"));
}

std::optional<qint64> RecordReader::optionalInt(const char *key) const
{
    const Json::Document *value = find(key);
    return value ? std::optional(integer(key, *value)) : std::nullopt;
}

std::optional<bool> RecordReader::optionalBool(const char *key) const
{
    const Json::Document *value = find(key);
    return value ? std::optional(boolean(key, *value)) : std::nullopt;
}

std::optional<QString> RecordReader::optionalString(const char *key) const
{
    const Json::Document *value = find(key);
    return value ? std::optional(string(key, *value)) : std::nullopt;
}

bool RecordReader::hasOnlyStrings() const
{
    return std::all_of(m_object.begin(), m_object.end(), [](const Json::Document &value) { return value.is_string(); });
}

QString RecordReader::path() const
{
    return m_list ? m_list->pathOf(m_key) + u'[' + QString::number(m_index) + u']' : QString();
}

QString RecordReader::pathOf(const char *key) const
{
    const QString prefix = path();
    return prefix.isEmpty() ? QLatin1String(key) : prefix + u'.' + QLatin1String(key);
}

void RecordReader::fail(const char *key, const char *problem) const
{
    throw DecodingError(pathOf(key) + QStringLiteral(": ") + QLatin1String(problem));
}

const Json::Document *RecordReader::find(const char *key) const
{
    const auto member = m_object.find(key);
    return member == m_object.end() || member->is_null() ? nullptr : &*member;
}

const Json::Document &RecordReader::required(const char *key) const
{
    const Json::Document *value = find(key);
    if (!value)
        fail(key, "missing");
    return *value;
}

qint64 RecordReader::integer(const char *key, const Json::Document &value) const
{
    // Positive literals arrive unsigned: beyond the signed range they would wrap.
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > std::uint64_t(std::numeric_limits<qint64>::max()))
            fail(key, "number out of range");
        return qint64(number);
    }
    if (value.is_number_integer())
        return value.get<std::int64_t>();
    // A fraction or an exponent (even 5.0 or 1e3) is not the integer a record
    // expects; a negative literal below the signed range arrives as a double.
    if (value.is_number_float() && std::fabs(value.get<double>()) >= 0x1p63)
        fail(key, "number out of range");
    fail(key, "expected a whole number");
}

bool RecordReader::boolean(const char *key, const Json::Document &value) const
{
    if (!value.is_boolean())
        fail(key, "expected a boolean");
    return value.get<bool>();
}

QString RecordReader::string(const char *key, const Json::Document &value) const
{
    if (!value.is_string())
        fail(key, "expected a string");
    // The parser has checked the UTF-8 already. Qt's default conversion would
    // drop a leading U+FEFF, which belongs to the text.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(value.get_ref<const std::string &>()));
}
