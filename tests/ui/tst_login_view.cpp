#include "UiTestSupport.h"

#include "ui/LoginView.h"
#include "ui/MenuPanelView.h"
#include "ui/Theme.h"

#include <QPushButton>

class LoginViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Signed out → waiting for the browser → cancelled, which keeps an earlier error.
    void showsWhatEachSignInStepNeeds()
    {
        UiFixture f;
        LoginView view(f.state);
        const auto visible = [&view] {
            return shownOf(&view, {"signInExplanation", "signInButton", "spinner", "waitingText", "cancelButton",
                                   "errorMessage", "divider", "panelFooter"});
        };
        QCOMPARE(visible(), u"signInExplanation signInButton divider panelFooter"_s);
        QCOMPARE(labelText(&view, "signInExplanation"), u"Sign in to see your events and live request queue."_s);
        QCOMPARE(textColor(child(&view, "signInExplanation")), Theme::secondaryText);
        auto *signIn = child<QPushButton>(&view, "signInButton");
        QCOMPARE(signIn->text(), u"Sign in with Browser"_s);
        QCOMPARE(signIn->palette().color(QPalette::Button), Theme::purpleBase);
        QVERIFY(showAtPanelWidth(view));
        QCOMPARE(signIn->width(), 340 - 2 * 16); // the panel's width less its margins

        AppStateTester::setAuthState(f.state, Auth::waitingForBrowser);
        AppStateTester::setErrorMessage(f.state, u"earlier"_s);
        settle();
        QCOMPARE(visible(), u"spinner waitingText cancelButton errorMessage divider panelFooter"_s);
        QCOMPARE(labelText(&view, "waitingText"), u"Finish signing in from your browser\u2026"_s);
        QCOMPARE(child<QPushButton>(&view, "cancelButton")->text(), u"Cancel"_s);

        QTest::mouseClick(child(&view, "cancelButton"), Qt::LeftButton);
        QCOMPARE(f.state.authState(), Auth::signedOut);
        settle();
        QCOMPARE(visible(), u"signInExplanation signInButton errorMessage divider panelFooter"_s);
        QCOMPARE(labelText(&view, "errorMessage"), u"earlier"_s);
    }

    // Error text comes from the service: markup in it is shown as typed. Signing
    // in again clears it and starts a new session.
    void errorShownAsPlainTextUntilSignInStarts()
    {
        UiFixture f;
        LoginView view(f.state);
        const QString markup = u"<b>x</b> & <a href='file:///'>y</a>"_s;
        AppStateTester::setErrorMessage(f.state, markup);
        settle();
        auto *error = child<QLabel>(&view, "errorMessage");
        QVERIFY(shown(error, &view) && error->wordWrap());
        QCOMPARE(error->text(), markup);
        QCOMPARE(error->textFormat(), Qt::PlainText);
        QCOMPARE(textColor(error), Theme::red);
        QTest::mouseClick(child(&view, "signInButton"), Qt::LeftButton);
        QVERIFY(!f.state.errorMessage());
        QVERIFY(f.waitForCall(u"POST /api/glasses/auth/start"_s));
    }

    // The panel shows the view for the auth state at a fixed width; a long error
    // wraps, making it taller instead.
    void panelFollowsAuthStateAtFixedWidth()
    {
        UiFixture f;
        MenuPanelView panel(f.state);
        QCOMPARE(panel.palette().color(QPalette::Window), Theme::cardBackground);
        for (Auth auth : {Auth::signedOut, Auth::signedIn, Auth::waitingForBrowser, Auth::signedIn, Auth::signedOut}) {
            AppStateTester::setAuthState(f.state, auth);
            settle();
            QCOMPARE(shown(child(&panel, "dashboardView"), &panel), auth == Auth::signedIn);
            QCOMPARE(shown(child(&panel, "loginView"), &panel), auth != Auth::signedIn);
            QCOMPARE(panel.width(), MenuPanelView::panelWidth);
        }
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const int before = panel.height();
        AppStateTester::setErrorMessage(f.state, u"The service could not be reached. "_s.repeated(8));
        QTRY_VERIFY(panel.height() > before + 3 * panel.fontMetrics().lineSpacing());
        QCOMPARE(panel.width(), MenuPanelView::panelWidth);
        QVERIFY(child(child(&panel, "loginView"), "errorMessage")->geometry().right() < MenuPanelView::panelWidth);
    }
};

QTEST_MAIN(LoginViewTest)
#include "tst_login_view.moc"
