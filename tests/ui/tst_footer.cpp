#include "UiTestSupport.h"

#include "ui/PanelFooter.h"

#include <QTcpServer>

class FooterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A check the user asked for says why it failed, rather than "up to date".
    void checkForUpdatesShowsTheOutcome_data()
    {
        QTest::addColumn<int>("status"); // 0: the service is down
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text"); // part of the alert's body
        const QByteArray newer = R"({"version":"99","downloadUrl":"https://cuelark.example/a.dmg"})";
        const QString failed = u"Couldn't check for updates"_s;
        QTest::newRow("down") << 0 << QByteArray() << failed << u"Connection refused"_s;
        QTest::newRow("500") << 500 << newer << failed << u"Request failed (HTTP 500)."_s;
        QTest::newRow("garbage") << 200 << "<html>"_ba << failed
                                 << u"The service sent an unexpected answer (malformed JSON at byte 1)."_s;
        QTest::newRow("newer") << 200 << newer << u"Update available (v99)"_s << u"A new version is available."_s;
        QTest::newRow("same version") << 200 << R"({"version":"0","downloadUrl":"file:///x"})"_ba
                                      << u"You're up to date"_s << u" is the latest version."_s;
    }
    void checkForUpdatesShowsTheOutcome()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, title);
        QFETCH(QString, text);
        UiFixture f;
        f.service.answer(status, body);
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QUrl down(u"http://127.0.0.1:%1"_s.arg(probe.serverPort()));
        probe.close();
        AppState state(f.desktop.platform(), status ? f.service.url() : down);
        PanelFooterLinks links(state);
        QTest::mouseClick(child(&links, "checkForUpdatesButton"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return !f.desktop.alerts.isEmpty(); }));
        const Alert &shown = f.desktop.alerts.first();
        QCOMPARE(shown.title, title);
        QVERIFY2(shown.body.contains(text), qPrintable(shown.body));
        const QStringList buttons = title.startsWith(u"Update") ? QStringList{u"Download"_s, u"Later"_s} : QStringList{u"OK"_s};
        QCOMPARE(shown.buttons, buttons);
    }
};

QTEST_MAIN(FooterTest)
#include "tst_footer.moc"
