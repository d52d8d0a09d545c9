// Start-up while the secret store is slow to answer (a locked keyring waits for
// its unlock prompt): the state is usable at once, and a token that arrives
// later signs in unless the DJ has signed in or out meanwhile.

#include "support/ServiceHarness.h"

#include <QTest>
#include <QTimer>

#include <qcoro/qcorosignal.h>

class TestSlowSecretStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aLateTokenCounts_data()
    {
        QTest::addColumn<QString>("meanwhile"); // what the DJ does before the store answers
        QTest::addColumn<bool>("stored");       // whether the store holds a token
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("nothing, token") << QString() << true << true;
        QTest::newRow("nothing, no token") << QString() << false << false;
        QTest::newRow("sign out") << QStringLiteral("signOut") << true << false;
        QTest::newRow("sign in") << QStringLiteral("signIn") << true << false;
    }
    void aLateTokenCounts()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, stored);
        QFETCH(bool, signedIn);
        ServiceHarness h;
        const std::optional<QString> token = stored ? std::optional(h.service->issueToken()) : std::nullopt;
        QTimer answer;
        Platform platform = h.desktop.platform(1000);
        platform.loadToken = [&answer, token]() -> QCoro::Task<std::optional<QString>> {
            co_await qCoro(&answer, &QTimer::timeout);
            co_return std::optional(token);
        };
        AppState state(std::move(platform), h.service->url());
        QCOMPARE(state.authState(), AppState::AuthState::signedOut);
        if (meanwhile == u"signIn")
            state.signIn();
        else if (meanwhile == u"signOut")
            state.signOut();
        answer.start(50);
        // Signed in as at a start with the token at hand: polling, and its first cycle.
        QCOMPARE(waitUntil([&] { return state.lastUpdated().has_value(); }, 1000), signedIn);
        QCOMPARE(state.authState() == AppState::AuthState::signedIn, signedIn);
        QCOMPARE(state.statsPollTask() != nullptr, signedIn);
    }
};

QTEST_GUILESS_MAIN(TestSlowSecretStore)
#include "tst_slow_secret_store.moc"
