#include "ui/DashboardView.h"

#include "AppState.h"
#include "DisplayText.h"
#include "TaskHandle.h"
#include "api/ISO8601DateParser.h"
#include "ui/BrandLogo.h"
#include "ui/FlowLayout.h"
#include "ui/PanelFooter.h"
#include "ui/RequestRow.h"
#include "ui/StatCard.h"
#include "ui/Widgets.h"

#include <QAbstractListModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QListView>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr qint64 noEventTag = -1;

} // namespace

// The picker's rows: the events as last published, or "No events". A label is
// made only when the picker asks for it, that is for its current row and the
// rows its open list shows: a long list costs nothing per event on a refresh.
class EventPickerModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit EventPickerModel(QComboBox *picker) : QAbstractListModel(picker), m_picker(picker) {}

    // Whether the rows were replaced. The same events leave them be; labels
    // that may read differently at `now` (an event gone live) are asked again.
    bool setEvents(const QList<DJEvent> &events, const QDateTime &now)
    {
        // Cheap when unchanged: a republished list shares its data with ours.
        if (events == m_events) {
            const int current = m_picker->currentIndex();
            const bool currentChanged = current >= 0 && current < m_events.size()
                && label(m_events[current], m_now) != label(m_events[current], now);
            m_now = now;
            if (currentChanged || m_picker->view()->isVisible())
                Q_EMIT dataChanged(index(0), index(rowCount() - 1), {Qt::DisplayRole, Qt::ToolTipRole});
            return false;
        }
        beginResetModel();
        m_events = events;
        m_now = now;
        endResetModel();
        return true;
    }

    // The id (or the tag of "No events") at `row`, if there is such a row.
    std::optional<qint64> idAt(int row) const
    {
        if (row < 0 || row >= rowCount())
            return std::nullopt;
        return m_events.isEmpty() ? noEventTag : m_events[row].id;
    }

    // The row of the event `id`, or -1.
    int rowOf(qint64 id) const
    {
        if (m_events.isEmpty())
            return id == noEventTag ? 0 : -1;
        const auto found = std::ranges::find(m_events, id, &DJEvent::id);
        return found == m_events.cend() ? -1 : int(found - m_events.cbegin());
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(std::max<qsizetype>(m_events.size(), 1));
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const QString text = m_events.isEmpty() ? DashboardView::tr("No events") : label(m_events[index.row()], m_now);
        switch (role) {
        case Qt::DisplayRole:
            // An event's name must not widen the pop-up list beyond the panel; its tooltip has it all.
            return m_picker->fontMetrics().elidedText(text, Qt::ElideRight, DashboardView::maxPickerTextWidth);
        case Qt::ToolTipRole:
            return DisplayText::toolTip(text);
        case Qt::UserRole:
            return *idAt(index.row());
        default:
            return {};
        }
    }

private:
    static QString label(const DJEvent &event, const QDateTime &now)
    {
        return DisplayText::shortLine(DashboardView::pickerLabel(event, now));
    }

    QComboBox *m_picker; // its font elides the labels
    QList<DJEvent> m_events;
    QDateTime m_now;
};

DashboardView::DashboardView(AppState &state, QWidget *parent)
    : StateView(state, parent)
{
    setObjectName(QStringLiteral("dashboardView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);
    column->addLayout(buildHeader());
    column->addLayout(buildPickerRow());
    column->addLayout(buildStats());
    column->addLayout(buildRequestList());
    column->addLayout(buildFooter());
    sync();
}

QLayout *DashboardView::buildHeader()
{
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new BrandLogo(28, this));
    m_userName = new ElidedLabel(this);
    styleLabel(m_userName, QStringLiteral("userName"), Theme::TextStyle::caption, Theme::secondaryText);
    m_userName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_userName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    header->addWidget(m_userName, 1);
    return header;
}

QLayout *DashboardView::buildPickerRow()
{
    auto *pickerRow = new QHBoxLayout;
    pickerRow->setSpacing(8);
    QLabel *caption = makeLabel(QStringLiteral("eventPickerLabel"), Theme::TextStyle::callout,
                                    Qt::white, this);
    //: The label of the list of the DJ's events.
    caption->setText(tr("Event"));
    pickerRow->addWidget(caption);
    m_picker = new QComboBox(this);
    m_picker->setObjectName(QStringLiteral("eventPicker"));
    m_picker->setAccessibleName(tr("Event"));
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_picker->setMinimumContentsLength(10);
    m_picker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QPalette tint = m_picker->palette();
    tint.setColor(QPalette::ButtonText, Theme::purple);
    tint.setColor(QPalette::Text, Theme::purple);
    m_picker->setPalette(tint);
    m_pickerModel = new EventPickerModel(m_picker);
    m_picker->setModel(m_pickerModel);
    // Rows of one height: the open list lays out only the rows it shows.
    if (auto *list = qobject_cast<QListView *>(m_picker->view()))
        list->setUniformItemSizes(true);
    caption->setBuddy(m_picker);
    connect(m_picker, &QComboBox::activated, this, &DashboardView::chooseEvent);
    pickerRow->addWidget(m_picker, 1);
    return pickerRow;
}

QLayout *DashboardView::buildStats()
{
    auto *stats = new QHBoxLayout;
    stats->setSpacing(10);
    //: A counter: how many song requests wait for an answer.
    m_pending = new StatCard(tr("Pending"), this);
    m_pending->setObjectName(QStringLiteral("pendingCard"));
    //: A counter: whether the chosen event is live or idle.
    m_status = new StatCard(tr("Status"), this);
    m_status->setObjectName(QStringLiteral("statusCard"));
    stats->addWidget(m_pending);
    stats->addWidget(m_status);
    return stats;
}

QLayout *DashboardView::buildRequestList()
{
    auto *list = new QVBoxLayout;
    list->setSpacing(6);
    QLabel *heading = makeLabel(QStringLiteral("recentRequestsHeading"), Theme::TextStyle::caption2,
                                Theme::secondaryText, this);
    heading->setText(tr("RECENT REQUESTS"));
    list->addWidget(heading);
    m_emptyList = makeLabel(QStringLiteral("emptyListText"), Theme::TextStyle::callout,
                            Theme::secondaryText, this);
    m_emptyList->setAlignment(Qt::AlignCenter);
    m_emptyList->setContentsMargins(0, 12, 0, 12);
    list->addWidget(m_emptyList);
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName(QStringLiteral("requestList"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *rows = new QWidget;
    rows->setObjectName(QStringLiteral("requestRows"));
    m_rowsLayout = new QVBoxLayout(rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(6);
    m_rowsLayout->addStretch();
    m_scrollArea->setWidget(rows);
    list->addWidget(m_scrollArea);
    m_keysHint = makeLabel(QStringLiteral("keysHint"), Theme::TextStyle::caption2, Theme::secondaryText, this);
    //: The keyboard shortcuts of the request list; the letters are the keys themselves.
    m_keysHint->setText(tr("↑↓ choose · A approve · R reject · C copy"));
    m_keysHint->setAlignment(Qt::AlignCenter);
    m_keysHint->setWordWrap(true);
    list->addWidget(m_keysHint);
    return list;
}

QLayout *DashboardView::buildFooter()
{
    auto *footer = new QVBoxLayout;
    footer->setSpacing(8);
    m_error = makeLabel(QStringLiteral("errorMessage"), Theme::TextStyle::caption, Theme::red, this);
    limitToLines(m_error, 2);
    footer->addWidget(m_error);
    footer->addWidget(new Divider(this));
    // Wraps when a translation or a large font makes the row too long.
    auto *buttons = new FlowLayout(Qt::AlignRight, 6);
    m_updated = makeLabel(QStringLiteral("lastUpdated"), Theme::TextStyle::caption2,
                          Theme::secondaryText, this);
    buttons->addWidget(m_updated);
    QPushButton *refresh = makeButton(QStringLiteral("refreshButton"), tr("Refresh"),
                                      Theme::TextStyle::caption, this);
    // The refresh runs on by itself; nothing waits for it here.
    connect(refresh, &QPushButton::clicked, this, [this] { state().refresh(); });
    buttons->addWidget(refresh);
    m_refresh = refresh;
    QPushButton *signOut = makeButton(QStringLiteral("signOutButton"), tr("Sign Out"),
                                      Theme::TextStyle::caption, this);
    connect(signOut, &QPushButton::clicked, this, [this] { state().signOut(); });
    buttons->addWidget(signOut);
    buttons->addWidget(new QuitButton(this));
    footer->addLayout(buttons);
    footer->addWidget(new PanelFooterLinks(state(), this));
    return footer;
}

void DashboardView::showEvent(QShowEvent *event)
{
    StateView::showEvent(event);
    const auto pending = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                      [](const RequestRow *row) { return row->request().isPending(); });
    if (pending != m_rows.cend())
        focusRow(*pending);
}

void DashboardView::moveRowFocus(RequestRow *from, int key)
{
    const qsizetype last = m_rows.size() - 1;
    const qsizetype at = m_rows.indexOf(from);
    if (at < 0)
        return;
    qsizetype to = key == Qt::Key_Home ? 0 : key == Qt::Key_End ? last : at + (key == Qt::Key_Up ? -1 : 1);
    focusRow(m_rows[std::clamp<qsizetype>(to, 0, last)]);
}

void DashboardView::focusNextPending(RequestRow *answered)
{
    // The answered row stays until the refresh after the answer, still marked
    // pending: the next pending row below it takes the focus, else the nearest above.
    if (!answered->isAncestorOf(focusWidget()) && !answered->hasFocus())
        return;
    const qsizetype at = m_rows.indexOf(answered);
    const auto pending = [&](qsizetype i) { return i != at && m_rows[i]->request().isPending(); };
    qsizetype to = at + 1;
    while (to < m_rows.size() && !pending(to))
        ++to;
    if (to == m_rows.size())
        for (to = at - 1; to >= 0 && !pending(to); --to) {}
    if (to >= 0)
        focusRow(m_rows[to]);
}

void DashboardView::focusRow(RequestRow *row)
{
    row->setFocus(Qt::OtherFocusReason);
    m_scrollArea->ensureWidgetVisible(row);
}

QString DashboardView::timeWithSeconds(const QTime &time, const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's')) {
        const qsizetype minutes = format.indexOf(QLatin1String("mm"));
        if (minutes >= 0) {
            // Reuse the locale's own separator between hours and minutes.
            const QChar before = minutes > 0 ? format.at(minutes - 1) : u':';
            const QChar separator = before.isLetter() || before.isSpace() ? QChar(u':') : before;
            format.insert(minutes + 2, separator + QLatin1String("ss"));
        } else {
            format = locale.timeFormat(QLocale::LongFormat);
        }
    }
    return locale.toString(time, format);
}

QString DashboardView::eventDate(const DJEvent &event, const QLocale &locale)
{
    const std::optional<QDateTime> start = ISO8601DateParser::parse(event.startDate);
    if (!start)
        return QStringLiteral("\u2014");
    // The day where the user is, not the service's (UTC) day.
    return locale.toString(start->toLocalTime().date(), QLocale::ShortFormat);
}

QString DashboardView::pickerLabel(const DJEvent &event, const QDateTime &now, const QLocale &locale)
{
    const QString prefix = event.isLive(now) ? QStringLiteral("\u25CF ") : QString();
    return prefix + event.name + QStringLiteral(" \u00B7 ") + eventDate(event, locale);
}

void DashboardView::sync()
{
    const AppState &state = this->state();
    const std::optional<QString> &name = state.userName();
    const QString shownName = DisplayText::shortLine(name.value_or(QString()));
    m_userName->setText(shownName);
    m_userName->setToolTip(DisplayText::toolTip(shownName));
    m_userName->setVisible(name.has_value());

    syncPicker();
    syncStats();
    syncRequests();

    // The keyring's notice when there is no error to show.
    const std::optional<QString> &error = state.errorMessage() ? state.errorMessage() : state.storeNotice();
    const QString shownError = DisplayText::shortLine(error.value_or(QString()));
    m_error->setText(shownError);
    // Cut after two lines: the tooltip has the whole text.
    m_error->setToolTip(DisplayText::toolTip(shownError));
    m_error->setVisible(error.has_value());

    const std::optional<QDateTime> &updated = state.lastUpdated();
    m_updated->setVisible(updated.has_value());
    if (updated)
        m_updated->setText(tr("Updated %1").arg(timeWithSeconds(updated->toLocalTime().time())));
}

qint64 DashboardView::pickerSelection() const
{
    return state().selectedEventId().value_or(noEventTag);
}

void DashboardView::syncPicker()
{
    const QSignalBlocker blocker(m_picker);
    // Replacing the rows keeps an open pop-up list open; the same rows are left alone.
    const bool replaced = m_pickerModel->setEvents(state().events(), state().now());
    const qint64 selection = pickerSelection();
    // A selection that matches no row leaves the picker without a marked row.
    if (replaced || m_pickerModel->idAt(m_picker->currentIndex()) != selection)
        m_picker->setCurrentIndex(m_pickerModel->rowOf(selection));
}

void DashboardView::chooseEvent(int index)
{
    if (const std::optional<qint64> tag = m_pickerModel->idAt(index); tag && *tag != pickerSelection())
        state().select(*tag);
}

void DashboardView::syncStats()
{
    const AppState &state = this->state();
    m_pending->setValue(QString::number(state.totalPending()), Theme::green,
                        //: What a screen reader says for the pending card; %n is the count
                        tr("%n pending", nullptr, DisplayText::pluralCount(state.totalPending())));

    bool live = false;
    if (const std::optional<qint64> selected = state.selectedEventId()) {
        const auto &events = state.events();
        const auto event = std::find_if(events.begin(), events.end(),
                                        [&](const DJEvent &e) { return e.id == *selected; });
        live = event != events.end() && event->isLive(state.now());
    }
    if (live)
        m_status->setValue(tr("Live"), Theme::green);
    else
        m_status->setValue(tr("Idle"), Theme::secondaryText);
}

void DashboardView::syncRequests()
{
    const AppState &state = this->state();
    const QList<SongRequest> shown = state.requests().mid(0, maxShownRequests);

    m_emptyList->setVisible(shown.isEmpty());
    m_emptyList->setText(state.selectedEventId() ? tr("No requests yet.")
                                                 : tr("Select an event."));
    m_scrollArea->setVisible(!shown.isEmpty());
    m_keysHint->setVisible(!shown.isEmpty());
    // Moving rows through the layout repaints the whole list: an unchanged list
    // (most refreshes) is left as it is.
    if (std::ranges::equal(shown, m_rows, {}, {}, &RequestRow::request))
        return;

    // Rows are matched to requests by id and updated in place, so the list keeps
    // its scroll position and focus across refreshes.
    QList<RequestRow *> unused = m_rows;
    QList<RequestRow *> rows;
    for (RequestRow *row : std::as_const(m_rows))
        m_rowsLayout->removeWidget(row);
    for (const SongRequest &request : shown) {
        const auto match = std::find_if(unused.cbegin(), unused.cend(), [&](RequestRow *row) {
            return row->request().id == request.id;
        });
        RequestRow *row = nullptr;
        if (match != unused.cend()) {
            row = *match;
            unused.erase(match);
            row->setRequest(request);
        } else {
            row = new RequestRow(this->state(), request, m_scrollArea->widget());
            connect(row, &RequestRow::navigate, this, [this, row](int key) { moveRowFocus(row, key); });
            connect(row, &RequestRow::answered, this, [this, row] { focusNextPending(row); });
        }
        m_rowsLayout->insertWidget(rows.size(), row);
        row->show();
        rows.append(row);
    }
    qDeleteAll(unused);
    m_rows = rows;
    chainTabOrder();

    QWidget *content = m_scrollArea->widget();
    content->adjustSize();
    const int contentHeight = m_rowsLayout->sizeHint().height();
    m_scrollArea->setFixedHeight(std::min(contentHeight, maxListHeight));
}

// Rows created later would otherwise come last in the tab order.
void DashboardView::chainTabOrder()
{
    QWidget *previous = m_picker;
    for (RequestRow *row : std::as_const(m_rows)) {
        for (QWidget *control : row->focusChain()) {
            setTabOrder(previous, control);
            previous = control;
        }
    }
    setTabOrder(previous, m_refresh);
}

#include "DashboardView.moc"
