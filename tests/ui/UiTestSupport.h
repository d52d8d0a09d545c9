#pragma once

// Shared by the widget suites: a state to drive the views, and helpers to find
// and read their widgets.

#include "AppState.h"
#include "support/AppStateTester.h"
#include "support/CannedNetwork.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QTest>
#include <QTextDocumentFragment>

#include <algorithm>

using Auth = AppState::AuthState;
using namespace Qt::StringLiterals;

// The service the widget suites share, answering from memory: made on first
// use, gone with the application.
inline CannedNetwork &uiService()
{
    static CannedNetwork *const service = (qAddPostRoutine([] { delete service; }), new CannedNetwork);
    return *service;
}

// A signed-out state on fake desktop services whose every call to the service
// fails quickly and visibly, and no call seen yet.
struct UiFixture {
    static inline const QUrl serviceUrl{u"https://cuelark.test"_s};
    CannedNetwork &service = uiService();
    FakeDesktop desktop{&service};
    AppState state{desktop.platform(1000), serviceUrl}; // hours between refresh cycles
    UiFixture() { answer(503); }

    // From now on every call is answered with `status` and `body`.
    void answer(int status, const QByteArray &body = {})
    {
        service.reset();
        service.answer({}, {status, body});
    }
    bool waitForCall(const QString &prefix) const
    {
        return waitUntil([&] { return std::ranges::any_of(service.calls, [&](const QString &call) { return call.startsWith(prefix); }); });
    }
};

// Lets the views apply the changes published so far.
inline void settle() { for (int i = 0; i < 2; ++i) QCoreApplication::processEvents(); }

template<typename T = QWidget>
T *child(const QObject *parent, const char *objectName)
{
    T *found = parent->findChild<T *>(QLatin1String(objectName));
    if (!found)
        qWarning("no child named %s", objectName);
    return found;
}

inline QString labelText(const QObject *parent, const char *name) { return child<QLabel>(parent, name)->text(); }
// Which of the named children of `root` are shown (whether or not `root` is on screen), space-separated.
inline QString shownOf(const QWidget *root, std::initializer_list<const char *> names)
{
    QStringList result;
    for (const char *name : names)
        if (QWidget *widget = child(root, name); widget && widget->isVisibleTo(root))
            result << QLatin1String(name);
    return result.join(u' ');
}
// What a tooltip shows on screen.
inline QString shownToolTip(const QString &toolTip) { return QTextDocumentFragment::fromHtml(toolTip).toPlainText(); }
inline QColor textColor(const QWidget *widget) { return widget->palette().color(QPalette::WindowText); }

inline DJEvent makeEvent(qint64 id, const QString &name, bool active)
{
    return {id, name, active, QStringLiteral("2020-01-01T20:00:00Z"), QStringLiteral("2020-01-02T02:00:00Z")};
}
inline SongRequest makeRequest(qint64 id, const QString &status, const QString &title = QStringLiteral("Song"),
                               const QString &artist = QStringLiteral("Artist"))
{
    return {id, status, title, artist, QStringLiteral("2026-03-07T20:00:00Z")};
}
