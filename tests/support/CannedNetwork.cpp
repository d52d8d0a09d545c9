#include "support/CannedNetwork.h"

#include <QNetworkReply>

#include <algorithm>

namespace {

class CannedReply : public QNetworkReply {
public:
    CannedReply(const QNetworkRequest &request, const CannedNetwork::Answer &answer, QObject *parent)
        : QNetworkReply(parent)
        , m_body(answer.body)
    {
        setUrl(request.url());
        open(QIODevice::ReadOnly);
        QMetaObject::invokeMethod(this, [this, status = answer.status] {
            if (isFinished()) // aborted meanwhile
                return;
            setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
            finish();
        }, Qt::QueuedConnection);
    }
    void abort() override
    {
        if (!isFinished()) {
            setError(OperationCanceledError, {});
            finish();
        }
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, m_body.size());
        std::copy_n(m_body.constData(), count, data);
        m_body.remove(0, count);
        return count;
    }

private:
    void finish()
    {
        setFinished(true);
        Q_EMIT finished();
    }

    QByteArray m_body;
};

} // namespace

QNetworkReply *CannedNetwork::createRequest(Operation, const QNetworkRequest &request, QIODevice *body)
{
    // The client sends every call as a custom request, its method named.
    const QString call = request.attribute(QNetworkRequest::CustomVerbAttribute).toString() + u' ' + request.url().path();
    calls.append((call + u' ' + QString::fromUtf8(body ? body->readAll() : QByteArray())).trimmed());
    const auto entry = std::ranges::find_if(m_answers, [&](const auto &entry) { return call.startsWith(entry.first); });
    return new CannedReply(request, entry == m_answers.end() ? Answer{404, {}} : entry->second, this);
}
