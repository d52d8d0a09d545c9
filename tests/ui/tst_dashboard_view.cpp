#include "UiTestSupport.h"

#include "ui/DashboardView.h"
#include "ui/RequestRow.h"
#include "ui/Theme.h"

#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

namespace {

using Id = std::optional<qint64>;

// A signed-in dashboard on a state whose service calls all fail.
struct Dashboard {
    UiFixture f;
    AppState &state = f.state;
    DashboardView view{state};
    Dashboard()
    {
        AppStateTester::setAuthState(state, Auth::signedIn);
        settle();
    }
    // Event 7 selected, listing `requests`.
    void list(QList<SongRequest> requests)
    {
        AppStateTester::setSelectedEventId(state, 7);
        AppStateTester::setRequests(state, std::move(requests));
        settle();
    }
    // Request rows from top to bottom.
    QList<RequestRow *> rows() const
    {
        QList<RequestRow *> rows = view.findChildren<RequestRow *>(u"requestRow"_s);
        std::stable_sort(rows.begin(), rows.end(), [](auto *a, auto *b) { return a->y() < b->y(); });
        return rows;
    }
};

} // namespace

class DashboardViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The picker and the two counters follow the events and the selection.
    void eventsAndCounters_data()
    {
        QTest::addColumn<QList<DJEvent>>("events");
        QTest::addColumn<Id>("selected");
        QTest::addColumn<qint64>("pending");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("current");
        QTest::addColumn<bool>("live");
        const QList<DJEvent> two{makeEvent(7, u"Friday"_s, true), makeEvent(9, u"Saturday"_s, false)};
        const QDateTime now(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);
        const QStringList labels{two[0].pickerLabel(now), two[1].pickerLabel(now)};
        QTest::newRow("no events") << QList<DJEvent>() << Id{} << qint64(0) << QStringList{u"No events"_s} << 0
                                   << false;
        QTest::newRow("none selected") << two << Id{} << qint64(3) << labels << -1 << false;
        QTest::newRow("live one selected") << two << Id{7} << qint64(0) << labels << 0 << true;
        QTest::newRow("idle one, no grouping") << two << Id{9} << qint64(1234) << labels << 1 << false;
        QTest::newRow("selection not listed") << two << Id{42} << qint64(3) << labels << -1 << false;
    }
    void eventsAndCounters()
    {
        QFETCH(QList<DJEvent>, events);
        QFETCH(Id, selected);
        QFETCH(qint64, pending);
        QFETCH(bool, live);
        Dashboard d;
        AppStateTester::setEvents(d.state, events);
        AppStateTester::setSelectedEventId(d.state, selected);
        AppStateTester::setTotalPending(d.state, pending);
        settle();
        auto *picker = child<QComboBox>(&d.view, "eventPicker");
        QStringList rows;
        for (int i = 0; i < picker->count(); ++i)
            rows << picker->itemText(i);
        QTEST(rows, "rows");
        QTEST(picker->currentIndex(), "current");
        QWidget *pendingCard = child(&d.view, "pendingCard"), *statusCard = child(&d.view, "statusCard");
        QCOMPARE(labelText(pendingCard, "statTitle") + u'/' + labelText(statusCard, "statTitle"), u"PENDING/STATUS"_s);
        QCOMPARE(labelText(pendingCard, "statValue"), QString::number(pending));
        QCOMPARE(textColor(child(pendingCard, "statValue")), Theme::green);
        QCOMPARE(labelText(statusCard, "statValue"), live ? u"Live"_s : u"Idle"_s);
        QCOMPARE(textColor(child(statusCard, "statValue")), live ? Theme::green : Theme::secondaryText);
    }

    void choosingAnEventSelectsAndFetchesIt()
    {
        Dashboard d;
        AppStateTester::setEvents(d.state, {makeEvent(7, u"A"_s, false), makeEvent(9, u"B"_s, false)});
        settle();
        Q_EMIT child<QComboBox>(&d.view, "eventPicker")->activated(1);
        QCOMPARE(d.state.selectedEventId(), Id(9));
        QVERIFY(d.f.waitForCall(u"GET /api/glasses/"_s));
    }

    // What stands in for an empty list, then the first eight of twelve requests
    // in a capped, scrolling list whose rows a refresh updates in place.
    void requestList()
    {
        Dashboard d;
        QCOMPARE(shownOf(&d.view, {"emptyListText", "requestList"}), u"emptyListText"_s);
        QCOMPARE(labelText(&d.view, "emptyListText"), u"Select an event."_s);
        d.list({});
        QCOMPARE(labelText(&d.view, "emptyListText"), u"No requests yet."_s);

        QList<SongRequest> twelve;
        for (int i = 1; i <= 12; ++i)
            twelve << makeRequest(i, u"pending"_s, u"Song %1"_s.arg(i));
        d.list(twelve);
        QCOMPARE(shownOf(&d.view, {"emptyListText", "requestList"}), u"requestList"_s);
        QVERIFY(showAtPanelWidth(d.view));
        const QList<RequestRow *> rows = d.rows();
        QList<qint64> ids;
        for (RequestRow *row : rows)
            ids << row->request().id;
        QCOMPARE(ids, (QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8}));
        auto *list = child<QScrollArea>(&d.view, "requestList");
        QCOMPARE(list->height(), DashboardView::maxListHeight);
        QScrollBar *bar = list->verticalScrollBar();
        bar->setValue(bar->maximum());
        const int scrolled = bar->value();
        QVERIFY(scrolled > 0);

        twelve[2].status = u"approved"_s;
        d.list(twelve);
        QVERIFY(d.rows() == rows); // the same widgets; QCOMPARE would print replaced, deleted ones
        QVERIFY(!shown(child(rows[2], "approveButton"), rows[2]));
        QCOMPARE(labelText(rows[2], "statusLabel"), u"Approved"_s);
        QCOMPARE(bar->value(), scrolled);
    }

    void status_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color");
        QTest::newRow("approved") << "approved" << "Approved" << Theme::green;
        QTest::newRow("played") << "played" << "Played" << Theme::blue;
        QTest::newRow("rejected") << "rejected" << "Rejected" << Theme::softRed();
        QTest::newRow("other words") << "in QUEUE" << "In Queue" << Theme::secondaryText;
        QTest::newRow("case-sensitive") << "Approved" << "Approved" << Theme::secondaryText;
        QTest::newRow("pending") << "pending" << QString() << QColor();
    }
    void status()
    {
        QFETCH(QString, status);
        Dashboard d;
        d.list({makeRequest(1, status)});
        RequestRow *row = d.rows().value(0);
        QVERIFY(row);
        const bool pending = status == u"pending";
        QCOMPARE(shownOf(row, {"copyButton", "approveButton", "rejectButton", "statusLabel"}),
                 pending ? u"copyButton approveButton rejectButton"_s : u"copyButton statusLabel"_s);
        if (pending) {
            QCOMPARE(child(row, "approveButton")->toolTip(), u"Approve"_s);
            QCOMPARE(child(row, "rejectButton")->accessibleName(), u"Reject"_s);
            return;
        }
        QTEST(labelText(row, "statusLabel"), "text");
        QTEST(textColor(child(row, "statusLabel")), "color");
    }

    // Names, titles and messages come from the audience or the service: markup
    // in them is shown, and copied, as typed, never rendered.
    void audienceTextIsPlainInLabelsTooltipsAndCopy()
    {
        Dashboard d;
        const QString markup = u"<b>x</b>"_s;
        AppStateTester::setUserName(d.state, markup);
        AppStateTester::setErrorMessage(d.state, markup);
        d.list({makeRequest(1, u"pending"_s, markup, markup)});
        RequestRow *row = d.rows().value(0);
        for (const auto &[parent, name] : {std::pair<QWidget *, const char *>{&d.view, "userName"},
                                           {&d.view, "errorMessage"}, {row, "songTitle"}, {row, "artistName"}}) {
            auto *label = child<QLabel>(parent, name);
            QCOMPARE(label->text(), markup);
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(shownToolTip(label), markup);
        }
        auto *copy = child(row, "copyButton");
        QCOMPARE(shownToolTip(copy), u"Copy \"<b>x</b> <b>x</b>\""_s);
        QTest::mouseClick(copy, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"<b>x</b> <b>x</b>"_s);
        QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasHtml());
    }

    void buttonsCallTheService_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("call");
        QTest::newRow("approve") << "approveButton" << R"(PATCH /api/glasses/requests/42 {"status":"approved"})";
        QTest::newRow("reject") << "rejectButton" << R"(PATCH /api/glasses/requests/42 {"status":"rejected"})";
        QTest::newRow("refresh") << "refreshButton" << "GET /api/glasses/";
    }
    void buttonsCallTheService()
    {
        QFETCH(QString, button);
        QFETCH(QString, call);
        Dashboard d;
        d.list({makeRequest(42, u"pending"_s)});
        QTest::mouseClick(child(&d.view, qPrintable(button)), Qt::LeftButton);
        QVERIFY2(d.f.waitForCall(call), qPrintable(d.f.calls().join(u'\n')));
    }

    void signOutButtonSignsOut()
    {
        Dashboard d;
        QTest::mouseClick(child(&d.view, "signOutButton"), Qt::LeftButton);
        QCOMPARE(d.state.authState(), Auth::signedOut);
    }

    // The user's name, the last update and an error show only when known; a
    // long error is cut after two lines rather than stretching the panel.
    void optionalHeaderAndFooterParts()
    {
        Dashboard d;
        const std::initializer_list<const char *> parts{"userName", "lastUpdated", "errorMessage", "panelFooterLinks"};
        QCOMPARE(shownOf(&d.view, parts), u"panelFooterLinks"_s);
        QCOMPARE(d.view.findChildren<QPushButton *>(u"quitButton"_s).size(), 1);
        AppStateTester::setUserName(d.state, u"DJ Nova"_s);
        AppStateTester::setLastUpdated(d.state, QDateTime(QDate(2026, 3, 7), QTime(21, 4, 5)));
        AppStateTester::setErrorMessage(d.state, u"The service could not be reached. "_s.repeated(10));
        settle();
        QVERIFY(showAtPanelWidth(d.view));
        QCOMPARE(shownOf(&d.view, parts), u"userName lastUpdated errorMessage panelFooterLinks"_s);
        QCOMPARE(labelText(&d.view, "userName"), u"DJ Nova"_s);
        QCOMPARE(labelText(&d.view, "lastUpdated"), u"Updated "_s + DashboardView::timeWithSeconds(QTime(21, 4, 5)));
        auto *error = child<QLabel>(&d.view, "errorMessage");
        QVERIFY(error->heightForWidth(error->width()) > 2 * error->fontMetrics().lineSpacing());
        QVERIFY(error->height() <= 2 * error->fontMetrics().lineSpacing());
    }

    void updatedTimeHasSeconds()
    {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QString time = DashboardView::timeWithSeconds(QTime(21, 4, 5), english);
        QCOMPARE(time.replace(u' ', u'\u202f'), u"9:04:05\u202fPM"_s); // CLDR versions differ in this space
    }
};

QTEST_MAIN(DashboardViewTest)
#include "tst_dashboard_view.moc"
