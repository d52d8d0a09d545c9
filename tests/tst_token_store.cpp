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

#include <algorithm>
#include <cstdio>

template <>
char *QTest::toString(const std::optional<QString> &value)
{
    return value ? toString(*value) : qstrdup("absent");
}

namespace {

const QString appId = QString::fromLatin1(AppConfig::appId);
constexpr char childFlag[] = "--as-child";

std::optional<QString> token(const char *utf8) { return QString::fromUtf8(utf8); }

// Writes bytes as the item's data directly, bypassing the store's encoding.
void writeRawItem(const QByteArray &bytes)
{
    QKeychain::WritePasswordJob job(appId);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(QStringLiteral("glasses-bearer-token"));
    job.setBinaryData(bytes);
    QSignalSpy finished(&job, &QKeychain::Job::finished);
    job.start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(job.error(), QKeychain::NoError);
}

int storedItemCount()
{
    QProcess search;
    search.start(QStringLiteral("secret-tool"),
                 {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"), appId});
    if (!search.waitForFinished(30000))
        return -1;
    // One "[/org/freedesktop/secrets/collection/...]" line per item.
    const QList<QByteArray> lines = search.readAllStandardOutput().split('\n');
    return int(std::count_if(lines.begin(), lines.end(), [](const QByteArray &line) { return line.startsWith('['); }));
}

struct ChildResult {
    bool succeeded = false;
    QByteArray output;
};

ChildResult runChild(const QStringList &arguments, const QString &busAddress = {})
{
    QProcess child;
    if (!busAddress.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        child.setProcessEnvironment(environment);
    }
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QString::fromLatin1(childFlag)} + arguments);
    ChildResult result;
    result.succeeded = child.waitForFinished(60000) && child.exitStatus() == QProcess::NormalExit
        && child.exitCode() == 0;
    result.output = child.readAllStandardOutput().trimmed();
    if (!result.succeeded)
        child.kill();
    return result;
}

// A second run of the program: saves or clears and quits at once, or loads and
// prints what it found.
int childMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(2);
    const QString command = arguments.value(0);
    if (command == QLatin1String("load")) {
        const std::optional<QString> loaded = KeychainTokenStore::load();
        std::fputs(loaded ? ("present:" + loaded->toUtf8().toHex()).constData() : "absent", stdout);
        return 0;
    }
    if (command == QLatin1String("save"))
        KeychainTokenStore::save(arguments.value(1));
    else if (command == QLatin1String("clear"))
        KeychainTokenStore::clear();
    else
        return 2;
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
        QCOMPARE(KeychainTokenStore::load(), std::nullopt);
    }

    // Each sequence is issued without waiting, then loaded at once: the load
    // must see the state the queued jobs leave behind, in issue order.
    void operationSequences_data()
    {
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<std::optional<QString>>("expected");
        QTest::addColumn<int>("items");

        QTest::newRow("clear of nothing") << QStringList{QStringLiteral("clear")} << std::optional<QString>() << 0;
        QTest::newRow("save") << QStringList{QStringLiteral("save:alpha")} << token("alpha") << 1;
        QTest::newRow("second save replaces")
            << QStringList{QStringLiteral("save:alpha"), QStringLiteral("save:beta")} << token("beta") << 1;
        QTest::newRow("save then clear")
            << QStringList{QStringLiteral("save:alpha"), QStringLiteral("clear")} << std::optional<QString>() << 0;
        QTest::newRow("save, clear, save")
            << QStringList{QStringLiteral("save:alpha"), QStringLiteral("clear"), QStringLiteral("save:beta")}
            << token("beta") << 1;
        QTest::newRow("non-ASCII token")
            << QStringList{QStringLiteral("save:DJ Ñandú ß — 🎵 日本")} << token("DJ Ñandú ß — 🎵 日本") << 1;
        QTest::newRow("empty token is present")
            << QStringList{QStringLiteral("save:")} << std::optional<QString>(QString()) << 1;
    }

    void operationSequences()
    {
        QFETCH(QStringList, operations);
        QFETCH(std::optional<QString>, expected);
        QFETCH(int, items);

        for (const QString &operation : operations) {
            if (operation == QLatin1String("clear"))
                KeychainTokenStore::clear();
            else
                KeychainTokenStore::save(operation.mid(operation.indexOf(QLatin1Char(':')) + 1));
        }
        const std::optional<QString> loaded = KeychainTokenStore::load();
        QCOMPARE(loaded.has_value(), expected.has_value());
        if (expected)
            QCOMPARE(*loaded, *expected);
        QCOMPARE(storedItemCount(), items);
    }

    void loadDecodesStoredBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<std::optional<QString>>("expected");

        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9") << token("café");
        QTest::newRow("leading byte-order mark kept")
            << QByteArray("\xEF\xBB\xBFtok") << std::optional(QString(QChar(0xFEFF)) + QStringLiteral("tok"));
        QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9") << std::optional<QString>();
        QTest::newRow("lone continuation byte") << QByteArray("\x80tok") << std::optional<QString>();
        QTest::newRow("truncated sequence at end") << QByteArray("tok\xC3") << std::optional<QString>();
        QTest::newRow("overlong encoding") << QByteArray("\xC0\xAF") << std::optional<QString>();
        QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << std::optional<QString>();
        QTest::newRow("0xFF") << QByteArray("\xFF") << std::optional<QString>();
    }

    void loadDecodesStoredBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(std::optional<QString>, expected);

        writeRawItem(bytes);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(KeychainTokenStore::load(), expected);
    }

    // The second run quits right after issuing its job: the job must still
    // reach the keyring, and the item outlives the process that wrote it.
    void survivesProcessRestart()
    {
        ChildResult saved = runChild({QStringLiteral("save"), QStringLiteral("from-child-é")});
        QVERIFY(saved.succeeded);
        QCOMPARE(KeychainTokenStore::load(), token("from-child-é"));

        KeychainTokenStore::save(QStringLiteral("from-parent"));
        QCOMPARE(KeychainTokenStore::load(), token("from-parent"));
        ChildResult loaded = runChild({QStringLiteral("load")});
        QVERIFY(loaded.succeeded);
        QCOMPARE(loaded.output, "present:" + QByteArray("from-parent").toHex());

        ChildResult cleared = runChild({QStringLiteral("clear")});
        QVERIFY(cleared.succeeded);
        QCOMPARE(KeychainTokenStore::load(), std::nullopt);
    }

    // No bus at all, and a bus that accepts the connection but never answers
    // (as a secret store waiting on an unlock prompt does): load gives up and
    // reports absent instead of blocking start-up.
    void unusableSecretStoreLoadsAbsent()
    {
        KeychainTokenStore::save(QStringLiteral("kept"));
        QCOMPARE(KeychainTokenStore::load(), token("kept"));

        ChildResult noBus = runChild({QStringLiteral("load")}, QStringLiteral("disabled:"));
        QVERIFY(noBus.succeeded);
        QCOMPARE(noBus.output, QByteArray("absent"));

        QTemporaryDir socketDir;
        QVERIFY(socketDir.isValid());
        QLocalServer silentBus;
        QVERIFY(silentBus.listen(socketDir.filePath(QStringLiteral("bus"))));
        ChildResult silent = runChild({QStringLiteral("load")},
                                      QStringLiteral("unix:path=") + silentBus.fullServerName());
        QVERIFY(silent.succeeded);
        QCOMPARE(silent.output, QByteArray("absent"));
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
