// A long night in fast motion: a thousand refresh cycles with a changing queue,
// approvals and event switches. Every arrival is notified exactly once and the
// heap stays flat. CUELARK_SOAK_CYCLES sets another number of cycles.

#include "support/ServiceHarness.h"

#include <QTest>

#include <malloc.h>

using namespace Qt::StringLiterals;

class TestSoak : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void manyCyclesNotifyEachArrivalOnceAndStayFlat()
    {
        const int cycles = qEnvironmentVariableIsSet("CUELARK_SOAK_CYCLES")
            ? qEnvironmentVariableIntValue("CUELARK_SOAK_CYCLES") : 1000;
        ServiceHarness h;
        AppState &app = h.startSignedIn();
        QList<qint64> arrivals, notified;
        arrivals.reserve(cycles);
        notified.reserve(cycles);
        size_t heapAfterWarmUp = 0;
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            if (cycle % 100 == 0) {
                // The DJ looks at the queue once more, then picks another event,
                // whose first look is a silent baseline.
                awaitTask(app.refresh());
                app.select(*app.selectedEventId() == 102 ? 103 : 102);
                awaitTask(app.refresh());
            }
            if (cycle % 3 == 0)
                arrivals.append(h.addRequest(u"Song %1"_s.arg(cycle), *app.selectedEventId()));
            const auto pending = std::ranges::find_if(app.requests(), &SongRequest::isPending);
            if (cycle % 7 == 0 && pending != app.requests().end())
                app.act(*pending, RequestAction::approved); // its refresh overlaps the next one
            awaitTask(app.refresh());
            for (const SongRequest &request : std::as_const(h.desktop.notifications))
                notified.append(request.id);
            h.desktop.notifications.clear();
            if (cycle == cycles / 5)
                heapAfterWarmUp = mallinfo2().uordblks;
        }
        QVERIFY(!app.errorMessage());
        QCOMPARE(notified, arrivals);
#ifndef __SANITIZE_ADDRESS__ // the sanitizer's allocator keeps freed memory aside on purpose
        const size_t growth = mallinfo2().uordblks - std::min(heapAfterWarmUp, mallinfo2().uordblks);
        qInfo("%d cycles; heap in use grew by %zu bytes after the warm-up", cycles, growth);
        // What may stay behind after the warm-up: a few pages of requests.
        QVERIFY2(growth < 1024 * 1024, qPrintable(QString::number(growth)));
#endif
    }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
