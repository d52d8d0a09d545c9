#include "UiTestSupport.h"

#include "AppVersion.h"
#include "ui/LoginView.h"
#include "ui/PanelFooter.h"

#include <QPushButton>

class FooterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsVersionAndControlsInOrder()
    {
        UiFixture f;
        PanelFooter footer(f.state);
        QCOMPARE(labelText(&footer, "versionLabel"), u'v' + AppVersion::shortVersion());
        footer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&footer));
        QStringList row;
        for (const char *name : {"checkForUpdatesButton", "downloadLink", "privacyLink", "termsLink", "quitButton"})
            row << child<QPushButton>(&footer, name)->text();
        QCOMPARE(row.join(u'|'), u"Check for updates|Download|Privacy|Terms|Quit"_s);
        QVERIFY(child(&footer, "checkForUpdatesButton")->x() < child(&footer, "termsLink")->x());
        QVERIFY(child(&footer, "quitButton")->y() > child(&footer, "termsLink")->y());
        QVERIFY(footer.sizeHint().width() <= 340 - 2 * 16); // fits the sign-in view
    }

    void linksOpenServicePages_data()
    {
        QTest::addColumn<QByteArray>("link");
        QTest::addColumn<QString>("path");
        QTest::newRow("download") << QByteArray("downloadLink") << "/download/mac";
        QTest::newRow("privacy") << QByteArray("privacyLink") << "/download/mac#privacy";
        QTest::newRow("terms") << QByteArray("termsLink") << "/terms-of-service";
    }
    void linksOpenServicePages()
    {
        QFETCH(QByteArray, link);
        QFETCH(QString, path);
        UiFixture f;
        LoginView view(f.state);
        QTest::mouseClick(child(&view, link.constData()), Qt::LeftButton);
        QCOMPARE(f.desktop.openedUrls, QList<QUrl>{QUrl(f.service.url().toString() + path)});
    }

    // Only web addresses are handed to the desktop: never a local file or junk.
    void linkThatIsNotAWebAddressDoesNothing()
    {
        UiFixture f;
        for (const QString &to : {u"file:///etc/passwd"_s, u"ftp://cuelark.example/"_s, u"not a url"_s, QString()}) {
            LinkButton button(f.state, u"Bad"_s, to);
            QTest::mouseClick(&button, Qt::LeftButton);
        }
        QVERIFY(f.desktop.openedUrls.isEmpty());
    }

    void checkForUpdatesWithServiceDownSaysUpToDate()
    {
        UiFixture f;
        PanelFooterLinks links(f.state);
        QTest::mouseClick(child(&links, "checkForUpdatesButton"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return !f.desktop.alerts.isEmpty(); }));
        QCOMPARE(f.desktop.alerts.first().title, u"You're up to date"_s);
        QCOMPARE(f.desktop.alerts.first().buttons, QStringList{u"OK"_s});
        QVERIFY(f.calls().first().startsWith(u"GET /mac-app/latest.json"_s));
    }
};

QTEST_MAIN(FooterTest)
#include "tst_footer.moc"
