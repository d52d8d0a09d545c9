// Triage from the keyboard: the panel opens on the first pending request; arrows,
// Home and End move between rows; A, R and C answer or copy the focused one.

#include "UiTestSupport.h"

#include "ui/MenuPanelView.h"
#include "ui/RequestRow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>

class KeyboardTriageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("focused"); // row index, top to bottom
        QTest::addColumn<QString>("call"); // or none
        QTest::newRow("opened on the first pending") << QString() << 1 << QString();
        QTest::newRow("A approves") << u"A"_s << 1 << u"PATCH /api/glasses/requests/2 {\"status\":\"approved\"}"_s;
        QTest::newRow("R rejects the next") << u"Down R"_s << 2 << u"PATCH /api/glasses/requests/3 {\"status\":\"rejected\"}"_s;
        QTest::newRow("C copies, Enter opens nothing") << u"C Return"_s << 1 << QString();
        QTest::newRow("clamped at the top, answered already") << u"Up Up A R"_s << 0 << QString();
        QTest::newRow("clamped at the bottom") << u"Down Down Down"_s << 3 << QString();
        QTest::newRow("End, Home; Ctrl+A is not A") << u"End Home Down Ctrl+A"_s << 1 << QString();
    }
    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, call);
        UiFixture f;
        AppStateTester::setAuthState(f.state, Auth::signedIn);
        AppStateTester::setSelectedEventId(f.state, 7);
        AppStateTester::setRequests(f.state, {makeRequest(1, u"approved"_s), makeRequest(2, u"pending"_s, u"Song 2"_s),
                                              makeRequest(3, u"pending"_s), makeRequest(4, u"played"_s)});
        settle();
        MenuPanelView panel(f.state);
        panel.show();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        QGuiApplication::clipboard()->clear();
        for (const QString &key : keys.split(u' ', Qt::SkipEmptyParts))
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
        QList<RequestRow *> rows = panel.findChildren<RequestRow *>();
        std::ranges::stable_sort(rows, {}, &QWidget::y);
        QTEST(int(rows.indexOf(QApplication::focusWidget())), "focused");
        QCOMPARE(rows.at(1)->accessibleName(), u"Song 2, Artist, Pending"_s);
        QVERIFY(panel.isVisible() && child(&panel, "keysHint")->isVisible());
        QCOMPARE(QGuiApplication::clipboard()->text(), keys.split(u' ').contains(u"C") ? u"Song 2 Artist"_s : QString());
        QVERIFY(call.isEmpty() || f.waitForCall(call));
        QTest::qWait(50);
        QCOMPARE(std::ranges::count_if(f.calls(), [](const QString &call) { return call.startsWith(u"PATCH "); }), call.isEmpty() ? 0 : 1);
        // Tab still reaches every button.
        QSet<QWidget *> reached;
        for (int i = 0; i < 40; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            reached.insert(QApplication::focusWidget());
        for (QAbstractButton *button : panel.findChildren<QAbstractButton *>())
            QVERIFY2(!button->isVisibleTo(&panel) || reached.contains(button), qPrintable(button->objectName()));
    }
};

QTEST_MAIN(KeyboardTriageTest)
#include "tst_keyboard_triage.moc"
