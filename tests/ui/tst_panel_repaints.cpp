// The open panel repaints what a refresh changed and nothing else: a cycle that
// brings the same data paints nothing, on a clock that stands still (so even
// the "Updated" time stays the same).

#include "support/ServiceHarness.h"
#include "ui/MenuPanelView.h"

#include <QTest>

namespace {

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override { return paints += event->type() == QEvent::Paint, false; }
};

} // namespace

class TestPanelRepaints : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refreshRepaintsOnlyChanges_data()
    {
        QTest::addColumn<QString>("newTitle"); // a request the audience adds first; empty: none
        QTest::addColumn<bool>("repaints");
        QTest::newRow("same data") << QString() << false;
        QTest::newRow("a new request") << QStringLiteral("Fresh Song") << true;
    }
    void refreshRepaintsOnlyChanges()
    {
        QFETCH(QString, newTitle);
        ServiceHarness h;
        AppState &state = h.startSignedIn();
        MenuPanelView panel(state);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTest::qWait(100);
        if (!newTitle.isEmpty())
            h.addRequest(newTitle, *state.selectedEventId());
        PaintCounter counter;
        panel.installEventFilter(&counter);
        for (QWidget *widget : panel.findChildren<QWidget *>())
            widget->installEventFilter(&counter);
        awaitTask(state.refresh());
        QTest::qWait(100);
        QTEST(counter.paints > 0, "repaints");
    }
};

QTEST_MAIN(TestPanelRepaints)
#include "tst_panel_repaints.moc"
