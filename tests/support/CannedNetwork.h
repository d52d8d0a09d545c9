#pragma once

#include <QList>
#include <QNetworkAccessManager>
#include <QStringList>

#include <utility>

// An access manager that answers from a table in memory, on the next turn of
// the event loop, without a network: the service of the widget suites.
class CannedNetwork : public QNetworkAccessManager {
public:
    struct Answer {
        int status = 200; // 0: no answer, the connection is refused
        QByteArray body;
    };
    // Calls whose "METHOD /path" starts with `call` get `answer` from now on
    // (the latest entry that matches wins; an empty `call` matches every call).
    void answer(const QString &call, Answer answer) { m_answers.prepend({call, std::move(answer)}); }
    // Forgets the table and the calls seen.
    void reset();
    // "METHOD /path body" of each call so far.
    QStringList calls;

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request, QIODevice *body) override;

private:
    QList<std::pair<QString, Answer>> m_answers;
};
