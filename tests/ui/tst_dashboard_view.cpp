#include "UiTestSupport.h"

#include "ui/DashboardView.h"
#include "ui/RequestRow.h"
#include "ui/StatCard.h"
#include "ui/Theme.h"

#include <QClipboard>
#include <QMimeData>
#include <QComboBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

class DashboardViewTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void picker_data();
    void picker();
    void choosingAnEventSelectsIt();
    void stats_data();
    void stats();
    void emptyListText();
    void showsFirstEightRequestsInOrder();
    void rowsUpdateInPlaceKeepingScroll();
    void status_data();
    void status();
    void copyPutsTitleAndArtistOnClipboard_data();
    void copyPutsTitleAndArtistOnClipboard();
    void audienceTextIsPlain();
    void approveAndRejectCallTheService_data();
    void approveAndRejectCallTheService();
    void refreshAndSignOut();
    void headerAndFooterOptionalParts();
    void longErrorIsCutAfterTwoLines();
    void updatedTimeHasSeconds_data();
    void updatedTimeHasSeconds();

private:
    struct Signed {
        UiFixture f;
        DashboardView view{*f.state};
        Signed()
        {
            AppStateTester::setAuthState(*f.state, Auth::signedIn);
            settle();
        }
        RequestRow *row(int i) const
        {
            return view.findChildren<RequestRow *>(QStringLiteral("requestRow")).value(i);
        }
        QList<RequestRow *> visibleRows() const
        {
            QList<RequestRow *> rows = view.findChildren<RequestRow *>(QStringLiteral("requestRow"));
            std::sort(rows.begin(), rows.end(), [](auto *a, auto *b) { return a->y() < b->y(); });
            return rows;
        }
    };
};

void DashboardViewTest::picker_data()
{
    QTest::addColumn<QList<DJEvent>>("events");
    QTest::addColumn<std::optional<qint64>>("selected");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("current");
    const QList<DJEvent> two{makeEvent(7, QStringLiteral("Friday"), true), makeEvent(9, QStringLiteral("Saturday"), false)};
    const QDateTime now = QDateTime(QDate(2026, 3, 7), QTime(20, 0), Qt::UTC);
    const QStringList labels{two[0].pickerLabel(now), two[1].pickerLabel(now)};
    QTest::newRow("no events") << QList<DJEvent>{} << std::optional<qint64>{} << QStringList{QStringLiteral("No events")} << 0;
    QTest::newRow("none selected") << two << std::optional<qint64>{} << labels << -1;
    QTest::newRow("second selected") << two << std::optional<qint64>{9} << labels << 1;
    QTest::newRow("selection not listed") << two << std::optional<qint64>{42} << labels << -1;
}

void DashboardViewTest::picker()
{
    QFETCH(QList<DJEvent>, events);
    QFETCH(std::optional<qint64>, selected);
    QFETCH(QStringList, rows);
    QFETCH(int, current);
    Signed s;
    AppStateTester::setEvents(*s.f.state, events);
    AppStateTester::setSelectedEventId(*s.f.state, selected);
    settle();
    auto *picker = child<QComboBox>(&s.view, "eventPicker");
    QStringList shownRows;
    for (int i = 0; i < picker->count(); ++i)
        shownRows << picker->itemText(i);
    QCOMPARE(shownRows, rows);
    QCOMPARE(picker->currentIndex(), current);
}

void DashboardViewTest::choosingAnEventSelectsIt()
{
    Signed s;
    AppStateTester::setEvents(*s.f.state, {makeEvent(7, QStringLiteral("A"), false), makeEvent(9, QStringLiteral("B"), false)});
    settle();
    auto *picker = child<QComboBox>(&s.view, "eventPicker");
    Q_EMIT picker->activated(1);
    QCOMPARE(s.f.state->selectedEventId(), std::optional<qint64>(9));
    QVERIFY(s.f.service.waitForCall(QStringLiteral("GET /api/glasses/")));
}

void DashboardViewTest::stats_data()
{
    QTest::addColumn<qint64>("pending");
    QTest::addColumn<bool>("active");
    QTest::addColumn<std::optional<qint64>>("selected");
    QTest::addColumn<QString>("pendingText");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QColor>("statusColor");
    QTest::newRow("zero, live") << qint64(0) << true << std::optional<qint64>(7) << "0" << "Live" << Theme::green;
    QTest::newRow("no grouping, idle") << qint64(1234) << false << std::optional<qint64>(7) << "1234" << "Idle" << Theme::secondaryText;
    QTest::newRow("live event not selected") << qint64(3) << true << std::optional<qint64>{} << "3" << "Idle" << Theme::secondaryText;
    QTest::newRow("selection not listed") << qint64(3) << true << std::optional<qint64>(8) << "3" << "Idle" << Theme::secondaryText;
}

void DashboardViewTest::stats()
{
    QFETCH(qint64, pending);
    QFETCH(bool, active);
    QFETCH(std::optional<qint64>, selected);
    QFETCH(QString, pendingText);
    QFETCH(QString, status);
    QFETCH(QColor, statusColor);
    Signed s;
    AppStateTester::setEvents(*s.f.state, {makeEvent(7, QStringLiteral("Gig"), active)});
    AppStateTester::setSelectedEventId(*s.f.state, selected);
    AppStateTester::setTotalPending(*s.f.state, pending);
    settle();
    auto *pendingCard = child(&s.view, "pendingCard");
    QCOMPARE(child<QLabel>(pendingCard, "statTitle")->text(), QStringLiteral("PENDING"));
    QCOMPARE(child<QLabel>(pendingCard, "statValue")->text(), pendingText);
    QCOMPARE(textColor(child(pendingCard, "statValue")), Theme::green);
    auto *statusCard = child(&s.view, "statusCard");
    QCOMPARE(child<QLabel>(statusCard, "statTitle")->text(), QStringLiteral("STATUS"));
    QCOMPARE(child<QLabel>(statusCard, "statValue")->text(), status);
    QCOMPARE(textColor(child(statusCard, "statValue")), statusColor);
}

void DashboardViewTest::emptyListText()
{
    Signed s;
    auto *empty = child<QLabel>(&s.view, "emptyListText");
    QVERIFY(shown(empty, &s.view));
    QCOMPARE(empty->text(), QStringLiteral("Select an event."));
    QVERIFY(!shown(child(&s.view, "requestList"), &s.view));
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    settle();
    QCOMPARE(empty->text(), QStringLiteral("No requests yet."));
    AppStateTester::setRequests(*s.f.state, {makeRequest(1, QStringLiteral("pending"))});
    settle();
    QVERIFY(!shown(empty, &s.view));
    QVERIFY(shown(child(&s.view, "requestList"), &s.view));
}

void DashboardViewTest::showsFirstEightRequestsInOrder()
{
    Signed s;
    QList<SongRequest> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve << makeRequest(i, QStringLiteral("pending"), QStringLiteral("Song %1").arg(i));
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    AppStateTester::setRequests(*s.f.state, twelve);
    settle();
    s.view.setFixedWidth(340);
    s.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.view));
    const QList<RequestRow *> rows = s.visibleRows();
    QCOMPARE(rows.size(), 8);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(rows[i]->request().id, qint64(i + 1));
    auto *list = child<QScrollArea>(&s.view, "requestList");
    QCOMPARE(list->height(), DashboardView::maxListHeight);
    QVERIFY(list->verticalScrollBar()->maximum() > 0);
}

void DashboardViewTest::rowsUpdateInPlaceKeepingScroll()
{
    Signed s;
    QList<SongRequest> eight;
    for (int i = 1; i <= 8; ++i)
        eight << makeRequest(i, QStringLiteral("pending"));
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    AppStateTester::setRequests(*s.f.state, eight);
    settle();
    s.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.view));
    auto *bar = child<QScrollArea>(&s.view, "requestList")->verticalScrollBar();
    bar->setValue(bar->maximum());
    const int scrolled = bar->value();
    QVERIFY(scrolled > 0);
    RequestRow *third = s.visibleRows()[2];

    eight[2].status = QStringLiteral("approved");
    AppStateTester::setRequests(*s.f.state, eight);
    settle();
    QCOMPARE(s.visibleRows()[2], third);
    QVERIFY(!shown(child(third, "approveButton"), third));
    QCOMPARE(child<QLabel>(third, "statusLabel")->text(), QStringLiteral("Approved"));
    QCOMPARE(bar->value(), scrolled);
}

void DashboardViewTest::status_data()
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

void DashboardViewTest::status()
{
    QFETCH(QString, status);
    QFETCH(QString, text);
    QFETCH(QColor, color);
    Signed s;
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    AppStateTester::setRequests(*s.f.state, {makeRequest(1, status)});
    settle();
    RequestRow *row = s.row(0);
    QVERIFY(row);
    QVERIFY(shown(child(row, "copyButton"), row));
    const bool pending = status == u"pending";
    QCOMPARE(shown(child(row, "approveButton"), row), pending);
    QCOMPARE(shown(child(row, "rejectButton"), row), pending);
    QCOMPARE(shown(child(row, "statusLabel"), row), !pending);
    if (pending) {
        QCOMPARE(child(row, "approveButton")->toolTip(), QStringLiteral("Approve"));
        QCOMPARE(child(row, "rejectButton")->accessibleName(), QStringLiteral("Reject"));
        return;
    }
    QCOMPARE(child<QLabel>(row, "statusLabel")->text(), text);
    QCOMPARE(textColor(child(row, "statusLabel")), color);
}

void DashboardViewTest::copyPutsTitleAndArtistOnClipboard_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("copied");
    QTest::newRow("both") << "Levitating" << "Dua Lipa" << "Levitating Dua Lipa";
    QTest::newRow("empty title") << "" << "Dua Lipa" << " Dua Lipa";
    QTest::newRow("both empty") << "" << "" << " ";
}

void DashboardViewTest::copyPutsTitleAndArtistOnClipboard()
{
    QFETCH(QString, title);
    QFETCH(QString, artist);
    QFETCH(QString, copied);
    Signed s;
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    AppStateTester::setRequests(*s.f.state, {makeRequest(1, QStringLiteral("played"), title, artist)});
    settle();
    auto *copy = child<QToolButton>(s.row(0), "copyButton");
    QCOMPARE(shownToolTip(copy), QStringLiteral("Copy \"%1\"").arg(copied));
    QTest::mouseClick(copy, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasHtml());
}

void DashboardViewTest::audienceTextIsPlain()
{
    Signed s;
    const QString markup = QStringLiteral("<b>x</b>");
    AppStateTester::setUserName(*s.f.state, markup);
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    AppStateTester::setRequests(*s.f.state, {makeRequest(1, QStringLiteral("pending"), markup, markup)});
    AppStateTester::setErrorMessage(*s.f.state, markup);
    settle();
    for (const char *name : {"userName", "errorMessage"}) {
        auto *label = child<QLabel>(&s.view, name);
        QCOMPARE(label->text(), markup);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    for (const char *name : {"songTitle", "artistName"}) {
        auto *label = child<QLabel>(s.row(0), name);
        QCOMPARE(label->text(), markup);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(shownToolTip(label), markup);
    }
    QCOMPARE(shownToolTip(child(s.row(0), "copyButton")), QStringLiteral("Copy \"<b>x</b> <b>x</b>\""));
}

void DashboardViewTest::approveAndRejectCallTheService_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("call");
    QTest::newRow("approve") << QByteArray("approveButton") << R"(PATCH /api/glasses/requests/42 {"status":"approved"})";
    QTest::newRow("reject") << QByteArray("rejectButton") << R"(PATCH /api/glasses/requests/42 {"status":"rejected"})";
}

void DashboardViewTest::approveAndRejectCallTheService()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, call);
    Signed s;
    AppStateTester::setSelectedEventId(*s.f.state, 7);
    AppStateTester::setRequests(*s.f.state, {makeRequest(42, QStringLiteral("pending"))});
    settle();
    QTest::mouseClick(child(s.row(0), button.constData()), Qt::LeftButton);
    QVERIFY2(s.f.service.waitForCall(call), qPrintable(s.f.service.calls.join(u'\n')));
}

void DashboardViewTest::refreshAndSignOut()
{
    Signed s;
    QTest::mouseClick(child(&s.view, "refreshButton"), Qt::LeftButton);
    QVERIFY(s.f.service.waitForCall(QStringLiteral("GET /api/glasses/")));
    AppStateTester::setAuthState(*s.f.state, Auth::signedIn);
    QTest::mouseClick(child(&s.view, "signOutButton"), Qt::LeftButton);
    QCOMPARE(s.f.state->authState(), Auth::signedOut);
}

void DashboardViewTest::headerAndFooterOptionalParts()
{
    Signed s;
    QVERIFY(!shown(child(&s.view, "userName"), &s.view));
    QVERIFY(!shown(child(&s.view, "lastUpdated"), &s.view));
    QVERIFY(!shown(child(&s.view, "errorMessage"), &s.view));
    QCOMPARE(s.view.findChildren<QPushButton *>(QStringLiteral("quitButton")).size(), 1);
    QVERIFY(shown(child(&s.view, "panelFooterLinks"), &s.view));

    AppStateTester::setUserName(*s.f.state, QStringLiteral("DJ Nova"));
    AppStateTester::setLastUpdated(*s.f.state, QDateTime(QDate(2026, 3, 7), QTime(21, 4, 5)));
    settle();
    QCOMPARE(child<QLabel>(&s.view, "userName")->text(), QStringLiteral("DJ Nova"));
    QVERIFY(shown(child(&s.view, "userName"), &s.view));
    auto *updated = child<QLabel>(&s.view, "lastUpdated");
    QVERIFY(shown(updated, &s.view));
    QCOMPARE(updated->text(), QStringLiteral("Updated ") + DashboardView::timeWithSeconds(QTime(21, 4, 5)));
}

void DashboardViewTest::longErrorIsCutAfterTwoLines()
{
    Signed s;
    AppStateTester::setErrorMessage(*s.f.state, QStringLiteral("The service could not be reached. ").repeated(10));
    settle();
    s.view.setFixedWidth(340);
    s.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.view));
    auto *error = child<QLabel>(&s.view, "errorMessage");
    QVERIFY(error->heightForWidth(error->width()) > 2 * error->fontMetrics().lineSpacing());
    QVERIFY(error->height() <= 2 * error->fontMetrics().lineSpacing());
    QCOMPARE(error->textFormat(), Qt::PlainText);
}

void DashboardViewTest::updatedTimeHasSeconds_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "9:04:05\u202fPM";
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "21:04:05";
}

void DashboardViewTest::updatedTimeHasSeconds()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    QString text = DashboardView::timeWithSeconds(QTime(21, 4, 5), locale);
    // CLDR versions differ in the space before AM/PM.
    text.replace(u' ', u'\u202f');
    QCOMPARE(text, expected);
}

QTEST_MAIN(DashboardViewTest)
#include "tst_dashboard_view.moc"
