// Which requests are notified and which notifications withdrawn as an event's
// queue changes between looks; no service involved. A failed cycle makes no
// look, so an arrival it missed shows at the next good one.

#include "notifications/NotificationBaseline.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using Changes = NotificationBaseline::Changes;

namespace {

// One step: a good look at an event's queue, or (no event) the baseline dropped.
struct Step {
    std::optional<qint64> event;
    QList<qint64> pending; // newest first, as the service lists them
    QList<qint64> answered;
};

QList<SongRequest> queue(const Step &step)
{
    QList<SongRequest> requests;
    for (const qint64 id : step.pending)
        requests.append({id, u"pending"_s, u"Song %1"_s.arg(id), {}, {}});
    for (const qint64 id : step.answered)
        requests.append({id, u"approved"_s, u"Song %1"_s.arg(id), {}, {}});
    return requests;
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestNotificationBaseline : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eachArrivalOnceEachAnswerWithdrawn_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QList<qint64>>("notified"); // by the last step
        QTest::addColumn<QList<qint64>>("withdrawn");
        const Step first{1, {2, 1}, {}};
        QTest::newRow("silent first look") << QList<Step>{first} << QList<qint64>{} << QList<qint64>{};
        QTest::newRow("arrivals, in list order") << QList<Step>{first, {1, {4, 3, 2, 1}, {}}} << QList<qint64>{4, 3}
                                                 << QList<qint64>{};
        QTest::newRow("listed twice, notified once") << QList<Step>{first, {1, {3, 3, 2, 1}, {}}} << QList<qint64>{3}
                                                     << QList<qint64>{};
        QTest::newRow("answered elsewhere") << QList<Step>{first, {1, {2}, {1}}} << QList<qint64>{} << QList<qint64>{1};
        QTest::newRow("gone from the page") << QList<Step>{first, {1, {1}, {}}} << QList<qint64>{} << QList<qint64>{2};
        QTest::newRow("back to pending") << QList<Step>{first, {1, {2}, {1}}, first} << QList<qint64>{1}
                                         << QList<qint64>{};
        QTest::newRow("another event: silent, the old ones go")
            << QList<Step>{first, {1, {3, 2, 1}, {}}, {7, {9, 8}, {}}} << QList<qint64>{} << QList<qint64>{1, 2, 3};
        QTest::newRow("dropped: all go") << QList<Step>{first, {1, {3, 2, 1}, {}}, {}} << QList<qint64>{}
                                         << QList<qint64>{1, 2, 3};
        QTest::newRow("dropped, then a silent look again") << QList<Step>{first, {}, {1, {3, 2, 1}, {}}}
                                                           << QList<qint64>{} << QList<qint64>{};
    }
    void eachArrivalOnceEachAnswerWithdrawn()
    {
        QFETCH(QList<Step>, steps);
        NotificationBaseline baseline;
        Changes last;
        for (const Step &step : std::as_const(steps))
            last = step.event ? baseline.look(*step.event, queue(step)) : Changes{{}, baseline.reset()};
        QList<qint64> notified;
        for (const SongRequest &request : std::as_const(last.notify))
            notified.append(request.id);
        QTEST(notified, "notified");
        QTEST(last.withdraw, "withdrawn");
        // What a notification's action may still answer: what is pending now.
        for (const qint64 id : {1, 2, 3, 4})
            QCOMPARE(baseline.isPending(id), steps.last().pending.contains(id));
    }
};

QTEST_GUILESS_MAIN(TestNotificationBaseline)
#include "tst_notification_baseline.moc"
