#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

// How the next API calls misbehave: a different answer, a late answer, a
// broken one, or none at all.
struct Fault {
    std::optional<int> status; // absent: the normal answer, only delayed or broken
    QByteArray body;
    QByteArray contentType;
    QByteArray location;       // sent as the Location header, with a status
    int delayMs = 0;
    bool drop = false;         // cut the connection before answering
    bool truncate = false;     // announce the whole body, send half, then close
    bool chunked = false;      // send the body as one chunk, its length not announced
    bool redirectLoop = false; // 302 back to the very same address
};

class FaultPlan {
public:
    // Adds the fault described by the control API's JSON; returns an error
    // text instead when the description is not valid.
    std::optional<QString> add(const QJsonObject &description);
    // The fault for a call to `path`, counted as used; the oldest matching first.
    std::optional<Fault> take(const QString &path);
    void clear() { m_entries.clear(); }

private:
    struct Entry {
        Fault fault;
        QString pathPrefix;
        qint64 remaining;
    };
    std::vector<Entry> m_entries;
};
