#pragma once

#include "ui/StateView.h"

#include "api/Models.h"

#include <QList>
#include <QLocale>
#include <QTime>

class ElidedLabel;
class EventPickerModel;
class QComboBox;
class QLabel;
class QLayout;
class QScrollArea;
class QVBoxLayout;
class RequestRow;
class StatCard;

// The panel while signed in: who, which event, counters, recent requests, and
// the refresh / sign-out row.
class DashboardView : public StateView {
    Q_OBJECT
public:
    explicit DashboardView(AppState &state, QWidget *parent = nullptr);

    static constexpr int maxShownRequests = 8;
    static constexpr int maxListHeight = 240;
    static constexpr int maxPickerTextWidth = 280;

    // The locale's short time format with seconds added when it has none. The
    // locale is the system's unless a test sets another default.
    static QString timeWithSeconds(const QTime &time, const QLocale &locale = QLocale());
    // The day an event starts (the user's day, in the locale's short format), or "—".
    static QString eventDate(const DJEvent &event, const QLocale &locale = QLocale());
    // "Name · date", with "● " before it while the event is live.
    static QString pickerLabel(const DJEvent &event, const QDateTime &now, const QLocale &locale = QLocale());

protected:
    void sync() override;
    // Opening the panel puts the keyboard on the first pending request.
    void showEvent(QShowEvent *event) override;

private:
    QLayout *buildHeader();
    QLayout *buildPickerRow();
    QLayout *buildStats();
    QLayout *buildRequestList();
    QLayout *buildFooter();
    void syncPicker();
    void syncStats();
    void syncRequests();
    void chainTabOrder();
    void chooseEvent(int index);
    qint64 pickerSelection() const;
    // After `answered` was approved or rejected from the keyboard, the focus moves
    // on to the next pending request.
    void focusNextPending(RequestRow *answered);
    void focusRow(RequestRow *row);
    void moveRowFocus(RequestRow *from, int key);

    ElidedLabel *m_userName;
    QComboBox *m_picker;
    EventPickerModel *m_pickerModel;
    StatCard *m_pending;
    StatCard *m_status;
    QLabel *m_emptyList;
    QScrollArea *m_scrollArea;
    QVBoxLayout *m_rowsLayout;
    QLabel *m_keysHint;
    QList<RequestRow *> m_rows;
    QLabel *m_error;
    QLabel *m_updated;
    QWidget *m_refresh;
};
