#pragma once

// Shared by the widget suites: a state built on fake desktop services, a
// loopback server that records what the state asked of the service, and helpers
// to find and read the panel's widgets.

#include "AppState.h"
#include "support/AppStateTester.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextDocumentFragment>

#include <algorithm>
#include <memory>

using Auth = AppState::AuthState;

// Records "METHOD /path body" for every HTTP request and answers each with 503,
// so every call the state makes fails quickly and visibly.
class RecordingService {
public:
    RecordingService()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
                    if (headerEnd < 0)
                        return;
                    const QByteArray head = buffer->left(headerEnd).toLower();
                    qsizetype length = 0;
                    if (const qsizetype at = head.indexOf("content-length:"); at >= 0)
                        length = head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
                    if (buffer->size() < headerEnd + 4 + length)
                        return;
                    const QList<QByteArray> requestLine = buffer->left(buffer->indexOf('\r')).split(' ');
                    calls.append(QString::fromUtf8(requestLine.value(0) + ' ' + requestLine.value(1) + ' '
                                                   + buffer->mid(headerEnd + 4, length)).trimmed());
                    buffer->clear();
                    socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    bool waitForCall(const QString &prefix)
    {
        return waitUntil([&] {
            return std::any_of(calls.begin(), calls.end(), [&](const QString &c) { return c.startsWith(prefix); });
        });
    }

    QStringList calls;

private:
    QTcpServer m_server;
};

// A signed-out state on fake services, pointed at the recording service.
struct UiFixture {
    FakeDesktop desktop;
    RecordingService service;
    std::unique_ptr<AppState> state = std::make_unique<AppState>(desktop.platform(), service.url());
};

// Lets the views apply the changes published so far.
inline void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

template<typename T = QWidget>
T *child(const QObject *parent, const char *objectName)
{
    T *found = parent->findChild<T *>(QLatin1String(objectName));
    if (!found)
        qWarning("no child named %s", objectName);
    return found;
}

// Whether `widget` is shown inside `root`, whether or not `root` is on screen.
inline bool shown(const QWidget *widget, const QWidget *root)
{
    return widget && widget->isVisibleTo(root);
}

// What a tooltip shows on screen.
inline QString shownToolTip(const QWidget *widget)
{
    return QTextDocumentFragment::fromHtml(widget->toolTip()).toPlainText();
}

inline QColor textColor(const QWidget *widget)
{
    return widget->palette().color(QPalette::WindowText);
}

inline DJEvent makeEvent(qint64 id, const QString &name, bool active)
{
    DJEvent result;
    result.id = id;
    result.name = name;
    result.isActive = active;
    result.startDate = QStringLiteral("2020-01-01T20:00:00Z");
    result.endDate = QStringLiteral("2020-01-02T02:00:00Z");
    return result;
}

inline SongRequest makeRequest(qint64 id, const QString &status, const QString &title = QStringLiteral("Song"),
                           const QString &artist = QStringLiteral("Artist"))
{
    return SongRequest{id, status, title, artist, QStringLiteral("2026-03-07T20:00:00Z")};
}
