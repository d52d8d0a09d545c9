// The open panel repaints what a refresh changed and nothing else: a cycle that
// brings the same data paints nothing at all. Against the stand-in, on a clock
// that stands still, so that even the "Updated" time stays the same.

#include "support/ServiceHarness.h"
#include "ui/MenuPanelView.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Counts paint events of a widget and all its descendants.
struct PaintCounter : QObject {
    int paints = 0;
    explicit PaintCounter(QWidget *root)
    {
        root->installEventFilter(this);
        for (QWidget *child : root->findChildren<QWidget *>())
            child->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

void flushPaints()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

} // namespace

class TestPanelRepaints : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refreshRepaintsOnlyChanges_data()
    {
        QTest::addColumn<QString>("newTitle"); // a request the audience adds first; empty: none
        QTest::addColumn<bool>("repaints");
        QTest::newRow("same data") << QString() << false;
        QTest::newRow("a new request") << u"Fresh Song"_s << true;
    }
    void refreshRepaintsOnlyChanges()
    {
        QFETCH(QString, newTitle);
        ServiceHarness h;
        AppState &state = h.startSignedIn();
        MenuPanelView panel(state);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        flushPaints();

        if (!newTitle.isEmpty())
            h.addRequest(newTitle, *state.selectedEventId());
        PaintCounter counter(&panel);
        awaitTask(state.refresh());
        flushPaints();
        QTEST(counter.paints > 0, "repaints");
    }
};

QTEST_MAIN(TestPanelRepaints)
#include "tst_panel_repaints.moc"
