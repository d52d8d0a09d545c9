#include "api/Json.h"

#include <QStringDecoder>

#include <cmath>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace {

constexpr int maxDepth = 256;

// Builds the document from the parser's events and counts the containers
// open: the parser itself keeps no depth limit. (The library's callback parser
// could count as well, but rescans the enclosing container after each one
// closes, which makes a long list of objects quadratic.) Cheaper than the
// library's own builder on a long list of records: an object starts with room
// for as many members as the one before it in the same list had (at most a
// few, and returned when it ends smaller), and string values are moved out of
// the parser's buffer rather than copied.
class DepthLimitedBuilder {
public:
    using number_integer_t = Json::Document::number_integer_t;
    using number_unsigned_t = Json::Document::number_unsigned_t;
    using number_float_t = Json::Document::number_float_t;
    using string_t = Json::Document::string_t;
    using binary_t = Json::Document::binary_t;

    explicit DepthLimitedBuilder(Json::Document &root) : m_root(root) {}

    bool null() { return add(nullptr); }
    bool boolean(bool value) { return add(value); }
    bool number_integer(number_integer_t value) { return add(value); }
    bool number_unsigned(number_unsigned_t value) { return add(value); }
    bool number_float(number_float_t value, const string_t &) { return add(value); }
    bool string(string_t &value) { return add(std::move(value)); }
    bool binary(binary_t &value) { return add(std::move(value)); }

    bool start_object(std::size_t)
    {
        const std::size_t room = m_open.empty() ? 0 : m_open.back().roomForMembers;
        enter(Json::Document::value_t::object)->get_ref<Json::Document::object_t &>().reserve(room);
        return true;
    }
    // A repeated name takes the later value. A small object finds it among
    // its members; a larger one through an index of its names, as a member
    // list searched for every name would make an object of many names
    // quadratic (a few megabytes of them would hold the app for minutes).
    bool key(string_t &name)
    {
        Open &open = m_open.back();
        auto &members = open.value->get_ref<Json::Document::object_t &>();
        if (members.size() < indexFrom) {
            m_member = &members[std::move(name)];
            return true;
        }
        if (!open.names) {
            open.names = std::make_unique<std::unordered_map<string_t, std::size_t>>();
            for (std::size_t i = 0; i < members.size(); ++i)
                open.names->emplace(members.begin()[i].first, i);
        }
        const auto [named, added] = open.names->try_emplace(name, members.size());
        if (added)
            members.emplace_back(std::move(name), nullptr);
        m_member = &members.begin()[named->second].second;
        return true;
    }
    bool end_object()
    {
        auto &members = m_open.back().value->get_ref<Json::Document::object_t &>();
        if (members.size() < members.capacity())
            members.shrink_to_fit();
        leave(members.size());
        return true;
    }
    bool start_array(std::size_t)
    {
        enter(Json::Document::value_t::array);
        return true;
    }
    bool end_array()
    {
        leave(0);
        return true;
    }

    template<class Exception>
    bool parse_error(std::size_t, const std::string &, const Exception &error)
    {
        throw error;
    }

private:
    // A container being filled, and the room the next object in it starts with.
    struct Open {
        Json::Document *value;
        std::size_t roomForMembers = 0;
        // An object's names and their places, once it has indexFrom members.
        std::unique_ptr<std::unordered_map<string_t, std::size_t>> names;
    };
    static constexpr std::size_t maxRoomForMembers = 8;
    static constexpr std::size_t indexFrom = 32;

    template<typename Value>
    Json::Document *place(Value &&value)
    {
        if (m_open.empty()) {
            m_root = Json::Document(std::forward<Value>(value));
            return &m_root;
        }
        Json::Document &container = *m_open.back().value;
        if (container.is_array())
            return &container.get_ref<Json::Document::array_t &>().emplace_back(std::forward<Value>(value));
        *m_member = Json::Document(std::forward<Value>(value));
        return m_member;
    }
    template<typename Value>
    bool add(Value &&value)
    {
        place(std::forward<Value>(value));
        return true;
    }
    Json::Document *enter(Json::Document::value_t type)
    {
        if (m_open.size() >= maxDepth)
            throw DecodingError(QStringLiteral("nested too deeply"));
        return m_open.emplace_back(Open{place(type), 0, nullptr}).value;
    }
    // The next object in the enclosing container starts with room for as many
    // members as this one had.
    void leave(std::size_t members)
    {
        m_open.pop_back();
        if (!m_open.empty())
            m_open.back().roomForMembers = std::min(members, maxRoomForMembers);
    }

    Json::Document &m_root;
    std::vector<Open> m_open;
    Json::Document *m_member = nullptr;
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
    // Compared in place: the library's lookup would copy the name into a
    // string of its own for every member read.
    const std::string_view name(key);
    for (const auto &[memberName, value] : m_object.get_ref<const Json::Document::object_t &>()) {
        if (memberName == name)
            return value.is_null() ? nullptr : &value;
    }
    return nullptr;
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
