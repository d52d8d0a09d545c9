// Diagnostics: silent by default; switched on, every module logs its calls,
// outcomes and state changes, and no line carries a token or a sign-in session.

#include "support/ServiceHarness.h"
#include "updates/UpdateChecker.h"

#include <QLoggingCategory>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

QStringList lines;

void capture(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (QByteArray(context.category).startsWith("cuelark."))
        lines.append(QString::fromLatin1(context.category) + u' ' + message);
}

} // namespace

class LoggingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secretsNeverLogged()
    {
        const QtMessageHandler previous = qInstallMessageHandler(capture);
        ServiceHarness h;
        AppState &app = h.startSignedIn(0.001);
        QCOMPARE(lines, QStringList()); // off by default

        QLoggingCategory::setFilterRules(u"cuelark.*=true"_s);
        const QString firstToken = *h.desktop.storedToken;
        h.fail(u"/api/glasses/requests/"_s, 500);
        app.act(app.requests().first(), RequestAction::approved);
        QVERIFY(waitUntil([&] { return app.errorMessage().has_value(); }));
        app.signOut();
        app.signIn();
        QVERIFY(waitUntil([&] { return !h.desktop.openedUrls.isEmpty(); }));
        h.service->approveInBrowser(h.desktop.openedUrls.last());
        QVERIFY(waitUntil([&] { return app.lastUpdated().has_value(); }));
        const QString secondToken = *h.desktop.storedToken;
        h.service->control("POST", u"/control/revoke"_s, {});
        QVERIFY(waitUntil([&] { return app.authState() == AppState::AuthState::signedOut; }));
        awaitTask(UpdateChecker::checkForUpdate(h.service->url()));
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());

        const QString session = QUrlQuery(h.desktop.openedUrls.last()).queryItemValue(u"session"_s);
        for (const QString &secret : {firstToken, secondToken, session}) {
            QVERIFY(secret.size() >= 8);
            for (const QString &line : std::as_const(lines))
                QVERIFY2(!line.contains(secret), qPrintable(line));
        }
        for (const char *category : {"cuelark.api", "cuelark.auth", "cuelark.refresh", "cuelark.updates"})
            QVERIFY2(lines.filter(QLatin1String(category)).size() > 0, category);
    }
};

QTEST_GUILESS_MAIN(LoggingTest)
#include "tst_logging.moc"
