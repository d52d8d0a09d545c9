#include "support/CannedNetwork.h"

#include <QNetworkReply>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Holds its whole answer from the start and delivers it as a network reply
// would: the status and headers, the body, then `finished`.
class CannedReply : public QNetworkReply {
public:
    CannedReply(QNetworkAccessManager::Operation operation, const QNetworkRequest &request,
                const CannedNetwork::Answer &answer, QObject *parent)
        : QNetworkReply(parent)
        , m_body(answer.body)
    {
        setOperation(operation);
        setRequest(request);
        setUrl(request.url());
        open(QIODevice::ReadOnly);
        QMetaObject::invokeMethod(this, [this, status = answer.status] {
            if (isFinished()) // aborted meanwhile
                return;
            if (status == 0) {
                m_body.clear();
                fail(ConnectionRefusedError, u"Connection refused"_s);
                return;
            }
            setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
            setHeader(QNetworkRequest::ContentTypeHeader, "application/json"_ba);
            setHeader(QNetworkRequest::ContentLengthHeader, m_body.size());
            Q_EMIT metaDataChanged();
            Q_EMIT readyRead();
            finish();
        }, Qt::QueuedConnection);
    }

    void abort() override
    {
        if (isFinished())
            return;
        m_body.clear();
        fail(OperationCanceledError, u"Operation canceled"_s);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_body.size() - m_read + QNetworkReply::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, m_body.size() - m_read);
        std::copy_n(m_body.constData() + m_read, count, data);
        m_read += count;
        return count;
    }

private:
    void fail(NetworkError error, const QString &text)
    {
        setError(error, text);
        Q_EMIT errorOccurred(error);
        finish();
    }
    void finish()
    {
        setFinished(true);
        Q_EMIT finished();
    }

    QByteArray m_body;
    qint64 m_read = 0;
};

} // namespace

void CannedNetwork::reset()
{
    m_answers.clear();
    calls.clear();
}

QNetworkReply *CannedNetwork::createRequest(Operation operation, const QNetworkRequest &request, QIODevice *body)
{
    // The client sends every call as a custom request, its method named.
    const QString call = request.attribute(QNetworkRequest::CustomVerbAttribute).toString() + u' ' + request.url().path();
    calls.append((call + u' ' + QString::fromUtf8(body ? body->readAll() : QByteArray())).trimmed());
    const auto entry = std::ranges::find_if(m_answers, [&](const auto &entry) { return call.startsWith(entry.first); });
    return new CannedReply(operation, request, entry == m_answers.end() ? Answer{404, {}} : entry->second, this);
}
