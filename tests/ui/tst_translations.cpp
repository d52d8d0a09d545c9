// Run under LANG=de_DE.UTF-8 (tests/CMakeLists.txt): the app speaks German.

#include "UiTestSupport.h"

#include "api/Errors.h"
#include "ui/MenuPanelView.h"
#include "ui/TrayToolTip.h"
#include "ui/Translations.h"
#include "updates/UpdateNotifier.h"

#include <QAbstractButton>

class TranslationsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void germanFollowsTheSystemLocale()
    {
        QCOMPARE(QLocale().language(), QLocale::German);
        QVERIFY(Translations::install());
        UiFixture f;
        MenuPanelView panel(f.state);
        QStringList shown;
        for (const QAbstractButton *button : panel.findChildren<QAbstractButton *>())
            shown << button->text();
        for (const QString &text : {u"Im Browser anmelden"_s, u"Nach Updates suchen"_s, u"Datenschutz"_s,
                                    u"Beim Anmelden starten"_s, u"Beenden"_s})
            QVERIFY2(shown.contains(text), qPrintable(shown.join(u", ")));
        // The core library's texts too: alerts and errors.
        QVERIFY(UpdateNotifier::updateMessage({}).contains(u"Lade das neue Paket herunter"_s));
        QCOMPARE(APIError::unauthorized().description(), u"Sitzung abgelaufen – bitte erneut anmelden."_s);
        // A text with a count takes the German plural form, the count written in.
        AppStateTester::setAuthState(f.state, AppState::AuthState::signedIn);
        AppStateTester::setLastUpdated(f.state, QDateTime(QDate(2026, 3, 7), QTime(10, 41)));
        for (const qint64 pending : {1, 2}) {
            AppStateTester::setTotalPending(f.state, pending);
            QCOMPARE(TrayToolTip::text(f.state, QLocale()), u"Cuelark — %1 offen · aktualisiert 10:41"_s.arg(pending));
        }
    }
};

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
