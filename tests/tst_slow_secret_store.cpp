// Start-up while the secret store is slow to answer (a locked keyring waits for
// its unlock prompt): the state is usable at once, and a stored token that
// arrives later signs in unless the DJ has signed in or out meanwhile.

#include "TaskHandle.h"
#include "support/ServiceHarness.h"

#include <QTest>
#include <QTimer>

#include <qcoro/qcorosignal.h>

using namespace Qt::StringLiterals;
using AuthState = AppState::AuthState;

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
        QTest::newRow("sign out") << u"signOut"_s << true << false;
        QTest::newRow("sign in") << u"signIn"_s << true << false;
    }
    void aLateTokenCounts()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, stored);
        ServiceHarness h;
        const std::optional<QString> token = stored ? std::optional(h.service->issueToken()) : std::nullopt;
        QTimer answer;
        answer.setSingleShot(true);
        Platform platform = h.desktop.platform(1000);
        platform.loadToken = [&answer, token]() -> QCoro::Task<std::optional<QString>> {
            co_await qCoro(&answer, &QTimer::timeout);
            co_return std::optional(token);
        };
        AppState state(std::move(platform), h.service->url());
        QCOMPARE(state.authState(), AuthState::signedOut);
        if (meanwhile == "signOut"_L1)
            state.signOut();
        else if (meanwhile == "signIn"_L1)
            state.signIn();

        answer.start(0);
        QTest::qWait(100);
        QTEST(state.authState() == AuthState::signedIn, "signedIn");
        QFETCH(bool, signedIn);
        // Signed in as at a start with the token at hand: polling, and the token's first cycle.
        QCOMPARE(state.statsPollTask() != nullptr, signedIn);
        QCOMPARE(waitUntil([&] { return state.lastUpdated().has_value(); }, 2000), signedIn);
    }
};

QTEST_GUILESS_MAIN(TestSlowSecretStore)
#include "tst_slow_secret_store.moc"
