#include "UiTestSupport.h"

#include "AppConfig.h"
#include "Autostart.h"
#include "ui/PanelFooter.h"

#include <QCheckBox>
#include <QTemporaryDir>

class FooterTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A check the user asked for says why it failed, rather than "up to date".
    void checkForUpdatesShowsTheOutcome_data()
    {
        QTest::addColumn<int>("status"); // 0: the service is down, its server gone
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text"); // part of the alert's body
        const QByteArray newer = R"({"version":"99","downloadUrl":"https://cuelark.example/a.dmg"})";
        const QString failed = u"Couldn't check for updates"_s;
        QTest::newRow("down") << 0 << QByteArray() << failed << u"Connection refused"_s;
        QTest::newRow("500") << 500 << newer << failed << u"Request failed (HTTP 500)."_s;
        QTest::newRow("garbage") << 200 << "<html>"_ba << failed << u"The service sent an unexpected answer (malformed JSON at byte 1)."_s;
        QTest::newRow("newer") << 200 << newer << u"Update available (v99)"_s << u"A new version is available."_s;
        QTest::newRow("same version") << 200 << R"({"version":"0","downloadUrl":"file:///x"})"_ba << u"You're up to date"_s << u" is the latest version."_s;
    }
    void checkForUpdatesShowsTheOutcome()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        UiFixture f;
        if (status)
            f.answer(status, body);
        AppState state(f.desktop.platform(), status ? f.service.url() : StandIn::refusingUrl());
        PanelFooterLinks links(state);
        QTest::mouseClick(child(&links, "checkForUpdatesButton"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return !f.desktop.alerts.isEmpty(); }));
        const Alert &shown = f.desktop.alerts.first();
        QTEST(shown.title, "title");
        QVERIFY2(shown.body.contains(text), qPrintable(shown.body));
        QCOMPARE(shown.buttons, (shown.title.startsWith(u"Update") ? QStringList{u"Download"_s, u"Later"_s} : QStringList{u"OK"_s}));
    }

    // "Start at login" is the autostart entry's presence: read when the footer is
    // built, written or removed by a click, and left clear when the write fails.
    void startAtLogin()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString entry = config.path() + u"/autostart/"_s + QLatin1String(AppConfig::appId) + u".desktop"_s;
        UiFixture f;
        for (const QString &pass : {u"on"_s, u"off"_s, u"on, the folder a file"_s}) {
            if (pass.endsWith(u"file"))
                QVERIFY(QDir(config.path()).rmdir(u"autostart"_s) && QFile(entry.section(u'/', 0, -2)).open(QIODevice::WriteOnly));
            PanelFooterLinks links(f.state);
            auto *box = child<QCheckBox>(&links, "startAtLoginBox");
            QCOMPARE(box->isChecked(), pass == u"off");
            box->click();
            QCOMPARE(box->isChecked(), pass == u"on");
            QCOMPARE(QFile::exists(entry), pass == u"on");
            if (QFile written(entry); written.open(QIODevice::ReadOnly))
                QVERIFY(written.readAll().contains("\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + '\n'));
        }
    }

    void autostartExecValue_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/bin/cuelark"_s << u"/usr/bin/cuelark"_s;
        QTest::newRow("space") << u"/opt/my apps/cuelark"_s << u"\"/opt/my apps/cuelark\""_s;
        QTest::newRow("quote $ \\ %") << u"/a\"$\\%"_s << u"\"/a\\\\\"\\\\$\\\\\\\\%%\""_s;
        QTest::newRow("line break") << u"/a\nExec=/evil"_s << QString();
    }
    void autostartExecValue()
    {
        QFETCH(QString, path);
        QTEST(Autostart::execValue(path), "exec");
    }
};

QTEST_MAIN(FooterTest)
#include "tst_footer.moc"
