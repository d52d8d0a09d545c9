// The token store against a real gnome-keyring on a private session bus
// (scripts/with-session.sh). Some cases run this binary again as a child
// process: a second run of the program, or one with an unusable secret store.

#include "AppConfig.h"
#include "auth/KeychainTokenStore.h"

#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using Token = std::optional<QString>;

namespace {

constexpr char childFlag[] = "--as-child";

Token loadNow()
{
    return QCoro::waitFor(KeychainTokenStore::load());
}

// What a second run of the program printed, or "failed".
QByteArray runChild(const QStringList &arguments, const QString &busAddress = {})
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!busAddress.isEmpty())
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QString::fromLatin1(childFlag)} + arguments);
    const bool ok = child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return ok ? child.readAllStandardOutput().trimmed() : "failed";
}

// The second run: prints what it loads, or saves or clears and quits at once.
int childMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString command = app.arguments().value(2);
    if (command == "load"_L1) {
        const Token loaded = loadNow();
        std::fputs(loaded ? ("present:" + loaded->toUtf8()).constData() : "absent", stdout);
        return 0;
    }
    if (command == "save"_L1)
        KeychainTokenStore::save(app.arguments().value(3));
    else
        KeychainTokenStore::clear();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}

} // namespace

class TokenStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("CUELARK_TEST_SESSION"))
            QSKIP("needs a private desktop session: run under scripts/with-session.sh");
    }

    void init()
    {
        KeychainTokenStore::clear();
        QVERIFY(!loadNow());
    }

    // Issued without waiting, then loaded at once: the load sees what the queued
    // jobs leave behind, in issue order.
    void operationSequences_data()
    {
        QTest::addColumn<QStringList>("operations"); // "clear" or "save:<token>"
        QTest::addColumn<Token>("expected");
        QTest::newRow("second save replaces") << QStringList{u"save:alpha"_s, u"save:beta"_s} << Token(u"beta"_s);
        QTest::newRow("save, clear") << QStringList{u"save:alpha"_s, u"clear"_s} << Token();
        QTest::newRow("save, clear, save") << QStringList{u"save:a"_s, u"clear"_s, u"save:b"_s} << Token(u"b"_s);
        QTest::newRow("non-ASCII") << QStringList{u"save:DJ Ñandú — 🎵 日本"_s} << Token(u"DJ Ñandú — 🎵 日本"_s);
        QTest::newRow("empty token is present") << QStringList{u"save:"_s} << Token(QString());
    }
    void operationSequences()
    {
        QFETCH(QStringList, operations);
        for (const QString &operation : operations)
            operation == "clear"_L1 ? KeychainTokenStore::clear() : KeychainTokenStore::save(operation.mid(5));
        QTEST(loadNow(), "expected");
    }

    // Bytes written to the item directly: anything but valid UTF-8 is no token.
    void loadDecodesStoredBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Token>("expected");
        QTest::newRow("UTF-8, byte-order mark kept") << "\xEF\xBB\xBF" "caf\xC3\xA9"_ba << Token(u"\uFEFFcafé"_s);
        QTest::newRow("Latin-1 byte") << "caf\xE9"_ba << Token();
        QTest::newRow("truncated sequence at end") << "tok\xC3"_ba << Token();
        QTest::newRow("overlong encoding") << "\xC0\xAF"_ba << Token();
        QTest::newRow("encoded surrogate") << "\xED\xA0\x80"_ba << Token();
    }
    void loadDecodesStoredBytes()
    {
        QFETCH(QByteArray, bytes);
        QKeychain::WritePasswordJob job(QString::fromLatin1(AppConfig::appId));
        job.setAutoDelete(false);
        job.setKey(u"glasses-bearer-token"_s);
        job.setBinaryData(bytes);
        QSignalSpy finished(&job, &QKeychain::Job::finished);
        job.start();
        QVERIFY(finished.wait(30000));
        QCOMPARE(job.error(), QKeychain::NoError);
        QTEST(loadNow(), "expected");
    }

    // A second run that quits right after issuing its job (as after sign-out and
    // Quit): the job still reaches the keyring. With no bus, or a bus that never
    // answers (a secret store waiting on an unlock prompt), load gives up and
    // reports absent instead of blocking start-up.
    void otherRuns()
    {
        QCOMPARE(runChild({u"save"_s, u"from-child-é"_s}), QByteArray());
        QCOMPARE(loadNow(), Token(u"from-child-é"_s));
        QCOMPARE(runChild({u"load"_s}), "present:from-child-é"_ba);
        QCOMPARE(runChild({u"load"_s}, u"disabled:"_s), "absent"_ba);
        QTemporaryDir socketDir;
        QLocalServer silentBus;
        QVERIFY(silentBus.listen(socketDir.filePath(u"bus"_s)));
        QCOMPARE(runChild({u"load"_s}, u"unix:path="_s + silentBus.fullServerName()), "absent"_ba);
        QCOMPARE(runChild({u"clear"_s}), QByteArray());
        QVERIFY(!loadNow());
    }
};

int main(int argc, char **argv)
{
    if (argc >= 2 && qstrcmp(argv[1], childFlag) == 0)
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    TokenStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_token_store.moc"
