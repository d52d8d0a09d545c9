#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

// How the next API calls misbehave: a different answer, a late answer, or
// none at all.
struct Fault {
    std::optional<int> status; // absent: the normal answer, only delayed
    QByteArray body;
    QByteArray contentType;
    int delayMs = 0;
    bool drop = false;
};

class FaultPlan {
public:
    // Adds the fault described by the control API's JSON; returns an error
    // text instead when the description is not valid.
    std::optional<QString> add(const QJsonObject &description);
    // The fault for a call to `path`, counted as used; the oldest matching first.
    std::optional<Fault> take(const QString &path);

private:
    struct Entry {
        Fault fault;
        QString pathPrefix;
        qint64 remaining;
    };
    std::vector<Entry> m_entries;
};
