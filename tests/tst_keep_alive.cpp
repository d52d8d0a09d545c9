// A whole session over one TCP connection: a hundred refresh cycles, and the
// update check after the first, reach the service over the connection that the
// first call opened.

#include "support/ServiceHarness.h"

#include <QSet>
#include <QTest>

class TestKeepAlive : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aSessionUsesOneConnection()
    {
        ServiceHarness h;
        h.startSignedIn(0.0001); // a millisecond between cycles
        QVERIFY(waitUntil([&] { return h.countCalls(QStringLiteral("GET /api/glasses/requests")) >= 100; }, 60000));
        QSet<int> connections;
        for (const QJsonValue &call : h.service->log())
            connections.insert(call[QLatin1String("connection")].toInt());
        QCOMPARE(connections.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestKeepAlive)
#include "tst_keep_alive.moc"
