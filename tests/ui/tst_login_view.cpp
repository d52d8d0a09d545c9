#include "UiTestSupport.h"

#include "ui/LoginView.h"
#include "ui/MenuPanelView.h"
#include "ui/Theme.h"

#include <QPushButton>

class LoginViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void signedOutOffersBrowserSignIn();
    void waitingShowsSpinnerAndCancel();
    void errorShownVerbatimAsPlainText();
    void signInStartsSessionAndClearsError();
    void cancelReturnsToSignedOutKeepingError();
    void panelFollowsAuthStateAtFixedWidth();
    void longErrorMakesPanelTallerNotWider();
};

void LoginViewTest::signedOutOffersBrowserSignIn()
{
    UiFixture f;
    LoginView view(*f.state);
    auto *explanation = child<QLabel>(&view, "signInExplanation");
    QCOMPARE(explanation->text(), QStringLiteral("Sign in to see your events and live request queue."));
    QCOMPARE(textColor(explanation), Theme::secondaryText);
    QVERIFY(shown(explanation, &view));
    auto *button = child<QPushButton>(&view, "signInButton");
    QCOMPARE(button->text(), QStringLiteral("Sign in with Browser"));
    QVERIFY(shown(button, &view));
    QCOMPARE(button->palette().color(QPalette::Button), Theme::purpleBase);
    for (const char *name : {"spinner", "waitingText", "cancelButton", "errorMessage"})
        QVERIFY2(!shown(child(&view, name), &view), name);
    QVERIFY(shown(child(&view, "divider"), &view));
    QVERIFY(shown(child(&view, "panelFooter"), &view));

    // The button spans the panel's width, less the margins.
    view.setFixedWidth(340);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(button->width(), 340 - 2 * 16);
}

void LoginViewTest::waitingShowsSpinnerAndCancel()
{
    UiFixture f;
    LoginView view(*f.state);
    AppStateTester::setAuthState(*f.state, Auth::waitingForBrowser);
    settle();
    QVERIFY(shown(child(&view, "spinner"), &view));
    QCOMPARE(child<QLabel>(&view, "waitingText")->text(), QStringLiteral("Finish signing in from your browser\u2026"));
    QCOMPARE(child<QPushButton>(&view, "cancelButton")->text(), QStringLiteral("Cancel"));
    QVERIFY(shown(child(&view, "cancelButton"), &view));
    QVERIFY(!shown(child(&view, "signInButton"), &view));
    QVERIFY(!shown(child(&view, "signInExplanation"), &view));
}

void LoginViewTest::errorShownVerbatimAsPlainText()
{
    UiFixture f;
    LoginView view(*f.state);
    const QString markup = QStringLiteral("<b>x</b> & <a href='file:///'>y</a>");
    AppStateTester::setErrorMessage(*f.state, markup);
    settle();
    auto *error = child<QLabel>(&view, "errorMessage");
    QVERIFY(shown(error, &view));
    QCOMPARE(error->text(), markup);
    QCOMPARE(error->textFormat(), Qt::PlainText);
    QCOMPARE(textColor(error), Theme::red);
    QVERIFY(error->wordWrap());

    AppStateTester::setErrorMessage(*f.state, std::nullopt);
    settle();
    QVERIFY(!shown(error, &view));
}

void LoginViewTest::signInStartsSessionAndClearsError()
{
    UiFixture f;
    LoginView view(*f.state);
    AppStateTester::setErrorMessage(*f.state, QStringLiteral("Sign-in timed out. Try again."));
    settle();
    QTest::mouseClick(child(&view, "signInButton"), Qt::LeftButton);
    QVERIFY(!f.state->errorMessage());
    QVERIFY(f.service.waitForCall(QStringLiteral("POST /api/glasses/auth/start")));
}

void LoginViewTest::cancelReturnsToSignedOutKeepingError()
{
    UiFixture f;
    LoginView view(*f.state);
    AppStateTester::setAuthState(*f.state, Auth::waitingForBrowser);
    AppStateTester::setErrorMessage(*f.state, QStringLiteral("earlier"));
    settle();
    QTest::mouseClick(child(&view, "cancelButton"), Qt::LeftButton);
    QCOMPARE(f.state->authState(), Auth::signedOut);
    settle();
    QVERIFY(shown(child(&view, "signInButton"), &view));
    QVERIFY(!shown(child(&view, "cancelButton"), &view));
    QCOMPARE(child<QLabel>(&view, "errorMessage")->text(), QStringLiteral("earlier"));
}

void LoginViewTest::panelFollowsAuthStateAtFixedWidth()
{
    UiFixture f;
    MenuPanelView panel(*f.state);
    QCOMPARE(panel.width(), MenuPanelView::panelWidth);
    QVERIFY(shown(child(&panel, "loginView"), &panel));
    QVERIFY(!shown(child(&panel, "dashboardView"), &panel));
    QCOMPARE(panel.palette().color(QPalette::Window), Theme::cardBackground);

    for (const auto &[auth, dashboard] : {std::pair{Auth::signedIn, true}, std::pair{Auth::waitingForBrowser, false},
                                         std::pair{Auth::signedIn, true}, std::pair{Auth::signedOut, false}}) {
        AppStateTester::setAuthState(*f.state, auth);
        settle();
        QCOMPARE(shown(child(&panel, "dashboardView"), &panel), dashboard);
        QCOMPARE(shown(child(&panel, "loginView"), &panel), !dashboard);
        QCOMPARE(panel.width(), MenuPanelView::panelWidth);
    }
}

void LoginViewTest::longErrorMakesPanelTallerNotWider()
{
    UiFixture f;
    MenuPanelView panel(*f.state);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const int before = panel.height();
    AppStateTester::setErrorMessage(*f.state, QStringLiteral("The service could not be reached. ").repeated(8));
    QTRY_VERIFY(panel.height() > before + 3 * panel.fontMetrics().lineSpacing());
    QCOMPARE(panel.width(), MenuPanelView::panelWidth);
    auto *error = child<QLabel>(&panel, "errorMessage");
    QVERIFY(error->geometry().right() < MenuPanelView::panelWidth);
}

QTEST_MAIN(LoginViewTest)
#include "tst_login_view.moc"
