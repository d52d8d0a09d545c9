#pragma once

#include <QNetworkAccessManager>
#include <QStringList>

// An access manager that answers from a table in memory, on the next turn of
// the event loop, without a network: the service of the widget suites.
class CannedNetwork : public QNetworkAccessManager {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };
    // Calls whose "METHOD /path" starts with `call` get `answer` from now on
    // (the latest entry that matches wins; "" matches every call; none: 404).
    void answer(const QString &call, const Answer &answer) { m_answers.prepend({call, answer}); }
    void reset() { m_answers.clear(); calls.clear(); }
    QStringList calls; // "METHOD /path body" of each call so far

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request, QIODevice *body) override;

private:
    QList<std::pair<QString, Answer>> m_answers;
};
