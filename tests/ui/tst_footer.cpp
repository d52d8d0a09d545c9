#include "UiTestSupport.h"

#include "AppVersion.h"
#include "ui/LoginView.h"
#include "ui/PanelFooter.h"

#include <QPushButton>

class FooterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsVersionAndControlsInOrder();
    void linksOpenServicePages_data();
    void linksOpenServicePages();
    void linkThatIsNotAWebAddressDoesNothing();
    void checkForUpdatesWithServiceDownSaysUpToDate();
};

void FooterTest::showsVersionAndControlsInOrder()
{
    UiFixture f;
    PanelFooter footer(*f.state);
    QCOMPARE(child<QLabel>(&footer, "versionLabel")->text(), u'v' + AppVersion::shortVersion());
    footer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&footer));
    QStringList row;
    for (const char *name : {"checkForUpdatesButton", "downloadLink", "privacyLink", "termsLink"})
        row << child<QPushButton>(&footer, name)->text();
    QCOMPARE(row, (QStringList{u"Check for updates"_qs, u"Download"_qs, u"Privacy"_qs, u"Terms"_qs}));
    QVERIFY(child(&footer, "checkForUpdatesButton")->x() < child(&footer, "termsLink")->x());
    auto *quit = child<QPushButton>(&footer, "quitButton");
    QCOMPARE(quit->text(), QStringLiteral("Quit"));
    QVERIFY(quit->y() > child(&footer, "termsLink")->y());
    // The whole row fits the sign-in view's width.
    QVERIFY(footer.sizeHint().width() <= 340 - 2 * 16);
}

void FooterTest::linksOpenServicePages_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QString>("path");
    QTest::newRow("download") << QByteArray("downloadLink") << "/download/mac";
    QTest::newRow("privacy") << QByteArray("privacyLink") << "/download/mac#privacy";
    QTest::newRow("terms") << QByteArray("termsLink") << "/terms-of-service";
}

void FooterTest::linksOpenServicePages()
{
    QFETCH(QByteArray, link);
    QFETCH(QString, path);
    UiFixture f;
    LoginView view(*f.state);
    QTest::mouseClick(child(&view, link.constData()), Qt::LeftButton);
    QCOMPARE(f.desktop.openedUrls, QList<QUrl>{QUrl(f.service.url().toString() + path)});
}

void FooterTest::linkThatIsNotAWebAddressDoesNothing()
{
    UiFixture f;
    for (const QString &address : {QStringLiteral("file:///etc/passwd"), QStringLiteral("not a url"), QString()}) {
        LinkButton button(*f.state, QStringLiteral("Bad"), address);
        QTest::mouseClick(&button, Qt::LeftButton);
    }
    QVERIFY(f.desktop.openedUrls.isEmpty());
}

void FooterTest::checkForUpdatesWithServiceDownSaysUpToDate()
{
    UiFixture f;
    PanelFooterLinks links(*f.state);
    QTest::mouseClick(child(&links, "checkForUpdatesButton"), Qt::LeftButton);
    QVERIFY(waitUntil([&] { return !f.desktop.alerts.isEmpty(); }));
    QCOMPARE(f.desktop.alerts.first().title, QStringLiteral("You're up to date"));
    QCOMPARE(f.desktop.alerts.first().buttons, QStringList{QStringLiteral("OK")});
    QVERIFY(f.service.calls.first().startsWith(QStringLiteral("GET /mac-app/latest.json")));
}

QTEST_MAIN(FooterTest)
#include "tst_footer.moc"
