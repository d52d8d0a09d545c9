// Run under LANG=de_DE.UTF-8 (tests/CMakeLists.txt): the app speaks German.

#include "UiTestSupport.h"

#include "api/Errors.h"
#include "ui/MenuPanelView.h"
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
    }
};

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
