#pragma once

#include "api/Errors.h"

#include <QList>
#include <QString>

#include <nlohmann/json.hpp>

#include <optional>

// The one way the program reads JSON from the service: a whole body parsed
// strictly, then the members of its objects read by type. Every failure throws
// DecodingError with a text built from our own field names and list indices,
// never from the body.
namespace Json {
// A parsed body. Each object keeps its members in one list, in the order read,
// rather than a tree node for each: a record has a handful of members, which a
// short scan finds as fast, and a page of ten thousand records is built and
// freed about a fifth faster. Of repeated keys the last counts all the same.
using Document = nlohmann::ordered_json;

// One JSON value and nothing after it, in strict UTF-8 without lone surrogates,
// nested at most 256 levels deep so that hostile nesting cannot exhaust the stack.
Document parse(const QByteArray &body);
} // namespace Json

// Reads the members of one JSON object. A member that is missing or null is
// absent; a present member of another JSON type is an error. Of repeated keys the
// last counts.
class RecordReader {
public:
    explicit RecordReader(const Json::Document &value) : RecordReader(value, nullptr, nullptr, 0) {}
    // It refers to the value: a temporary one would be gone before the reading.
    explicit RecordReader(Json::Document &&) = delete;

    qint64 requiredInt(const char *key) const { return integer(key, required(key)); }
    std::optional<qint64> optionalInt(const char *key) const;
    bool requiredBool(const char *key) const { return boolean(key, required(key)); }
    std::optional<bool> optionalBool(const char *key) const;
    QString requiredString(const char *key) const { return string(key, required(key)); }
    std::optional<QString> optionalString(const char *key) const;

    // One bad element fails the whole record: there are no partial lists.
    template<typename Element>
    QList<Element> requiredArray(const char *key, Element (*readElement)(const RecordReader &)) const
    {
        const Json::Document &list = required(key);
        if (!list.is_array())
            fail(key, "expected a list");
        QList<Element> elements;
        elements.reserve(qsizetype(list.size()));
        for (const Json::Document &element : list)
            elements.append(readElement(RecordReader(element, this, key, elements.size())));
        return elements;
    }

    // True when the object holds nothing but strings.
    bool hasOnlyStrings() const;

private:
    // An element of a list: its name in error texts ("events[2]") is built
    // only when one is needed, not for every element read.
    RecordReader(const Json::Document &value, const RecordReader *list, const char *key, qsizetype index);

    QString path() const;
    QString pathOf(const char *key) const;
    [[noreturn]] void fail(const char *key, const char *problem) const;
    const Json::Document *find(const char *key) const;
    const Json::Document &required(const char *key) const;
    qint64 integer(const char *key, const Json::Document &value) const;
    bool boolean(const char *key, const Json::Document &value) const;
    QString string(const char *key, const Json::Document &value) const;

    const Json::Document &m_object;
    const RecordReader *m_list; // the object whose list holds this one; none for the body
    const char *m_key;
    qsizetype m_index;
};
