// Triage from the keyboard: the panel opens on the first pending request; arrows,
// Home and End move between rows; A, R and C answer or copy the focused one.

#include "UiTestSupport.h"

#include "ui/MenuPanelView.h"
#include "ui/RequestRow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>

namespace {

// Opened on: 1 approved, 2 and 3 pending, 4 played.
struct OpenPanel {
    UiFixture f;
    std::unique_ptr<MenuPanelView> panel;
    OpenPanel()
    {
        AppStateTester::setAuthState(f.state, Auth::signedIn);
        AppStateTester::setSelectedEventId(f.state, 7);
        AppStateTester::setRequests(f.state, {makeRequest(1, u"approved"_s), makeRequest(2, u"pending"_s, u"Song 2"_s),
                                              makeRequest(3, u"pending"_s), makeRequest(4, u"played"_s)});
        settle();
        panel = std::make_unique<MenuPanelView>(f.state);
        panel->show();
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel.get()));
    }
    int focusedRow() const
    {
        QList<RequestRow *> rows = panel->findChildren<RequestRow *>();
        std::ranges::stable_sort(rows, {}, &QWidget::y);
        return int(rows.indexOf(QApplication::focusWidget()));
    }
    void press(const QString &keys)
    {
        for (const QString &key : keys.split(u' ', Qt::SkipEmptyParts))
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
    }
};

} // namespace

class KeyboardTriageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void movesBetweenRows_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("focused");
        QTest::newRow("opened") << QString() << 1;
        QTest::newRow("down") << u"Down"_s << 2;
        QTest::newRow("up past the top") << u"Up Up Up"_s << 0;
        QTest::newRow("down past the bottom") << u"Down Down Down"_s << 3;
        QTest::newRow("end, home") << u"End Home"_s << 0;
        QTest::newRow("enter opens nothing") << u"Return"_s << 1;
    }
    void movesBetweenRows()
    {
        QFETCH(QString, keys);
        OpenPanel p;
        p.press(keys);
        QTEST(p.focusedRow(), "focused");
        QVERIFY(p.panel->isVisible());
    }

    // What each key does to the focused row: the call it makes, or none.
    void answersTheFocusedRow_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("A approves") << u"A"_s << u"PATCH /api/glasses/requests/2 {\"status\":\"approved\"}"_s << QString();
        QTest::newRow("R rejects the next") << u"Down R"_s << u"PATCH /api/glasses/requests/3 {\"status\":\"rejected\"}"_s << QString();
        QTest::newRow("C copies") << u"C"_s << QString() << u"Song 2 Artist"_s;
        QTest::newRow("nothing to answer") << u"Up A R"_s << QString() << QString();
        QTest::newRow("Ctrl+A is not A") << u"Ctrl+A"_s << QString() << QString();
    }
    void answersTheFocusedRow()
    {
        QFETCH(QString, keys);
        QFETCH(QString, call);
        QFETCH(QString, clipboard);
        OpenPanel p;
        QGuiApplication::clipboard()->clear();
        p.press(keys);
        if (call.isEmpty()) {
            QTest::qWait(100);
            QVERIFY(!std::ranges::any_of(p.f.service.requests, [](const RecordedRequest &r) { return r.method == "PATCH"; }));
        } else {
            QVERIFY(p.f.waitForCall(call));
        }
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    }

    // Tab still reaches every button; rows name themselves for screen readers.
    void tabAndNames()
    {
        OpenPanel p;
        QSet<QWidget *> reached;
        for (int i = 0; i < 40; ++i) {
            reached.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (QAbstractButton *button : p.panel->findChildren<QAbstractButton *>())
            QVERIFY2(!button->isVisibleTo(p.panel.get()) || reached.contains(button), qPrintable(button->objectName()));
        QCOMPARE(QApplication::focusWidget()->window(), p.panel.get());
        QCOMPARE(child(p.panel.get(), "keysHint")->isVisible(), true);
        QCOMPARE(p.panel->findChildren<RequestRow *>().first()->accessibleName().count(u", "_s), 2);
        p.press(u"Home Down"_s);
        QCOMPARE(QApplication::focusWidget()->accessibleName(), u"Song 2, Artist, Pending"_s);
    }
};

QTEST_MAIN(KeyboardTriageTest)
#include "tst_keyboard_triage.moc"
