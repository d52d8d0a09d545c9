#include "ui/RequestRow.h"

#include "AppState.h"
#include "DisplayText.h"
#include "Texts.h"
#include "ui/Symbols.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton *makeIconButton(const QString &objectName, const QString &symbol, const QColor &color,
                            const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(Symbols::icon(symbol, color));
    button->setIconSize({16, 16});
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAccessibleName(name);
    button->setToolTip(name);
    return button;
}

ElidedLabel *makeLine(const QString &objectName, Theme::TextStyle style, const QColor &color, QWidget *parent)
{
    auto *label = new ElidedLabel(parent);
    styleLabel(label, objectName, style, color);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

} // namespace

RequestRow::RequestRow(AppState &state, const SongRequest &request, QWidget *parent)
    : RoundedFrame(radius, std::nullopt, parent), m_state(state)
{
    setObjectName(QStringLiteral("requestRow"));
    setFocusPolicy(Qt::StrongFocus);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 8, 8, 8);
    row->setSpacing(8);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    m_title = makeLine(QStringLiteral("songTitle"), Theme::TextStyle::callout, Qt::white, this);
    m_artist = makeLine(QStringLiteral("artistName"), Theme::TextStyle::caption, Theme::secondaryText, this);
    lines->addWidget(m_title);
    lines->addWidget(m_artist);
    row->addLayout(lines, 1);
    row->addSpacing(4);

    m_copy = makeIconButton(QStringLiteral("copyButton"), Symbols::copy, Theme::secondaryText,
                            tr("Copy"), this);
    connect(m_copy, &QToolButton::clicked, this, &RequestRow::copyToClipboard);
    row->addWidget(m_copy);

    m_approve = makeIconButton(QStringLiteral("approveButton"), Symbols::approve, Theme::green,
                               Texts::approve(), this);
    connect(m_approve, &QToolButton::clicked, this, [this] { answer(RequestAction::approved); });
    row->addWidget(m_approve);

    m_reject = makeIconButton(QStringLiteral("rejectButton"), Symbols::reject, Theme::softRed(),
                              Texts::reject(), this);
    connect(m_reject, &QToolButton::clicked, this, [this] { answer(RequestAction::rejected); });
    row->addWidget(m_reject);

    m_status = new ElidedLabel(this);
    styleLabel(m_status, QStringLiteral("statusLabel"), Theme::TextStyle::caption2, Theme::secondaryText);
    // A status word the service made up is cut rather than squeezing the title;
    // the known ones fit in any language and at any font size.
    int widest = 0;
    for (const char *status : {"approved", "rejected", "played"})
        widest = std::max(widest, m_status->fontMetrics()
                                      .boundingRect(QRect(), Qt::TextSingleLine, statusText(QLatin1String(status)))
                                      .width());
    m_status->setMaximumWidth(widest);
    row->addWidget(m_status);

    setRequest(request);
}

void RequestRow::setRequest(const SongRequest &request)
{
    m_request = request;
    const QString title = DisplayText::shortLine(request.songTitle);
    const QString artist = DisplayText::shortLine(request.artistName);
    // Elided to the row's width: the tooltip has the whole line.
    m_title->setText(title);
    m_title->setToolTip(DisplayText::toolTip(title));
    m_artist->setText(artist);
    m_artist->setToolTip(DisplayText::toolTip(artist));
    //: The copy button's tooltip; %1 is the song's title and artist.
    const QString copies = tr("Copy \"%1\"").arg(DisplayText::shortLine(copyText(request)));
    m_copy->setToolTip(DisplayText::toolTip(copies));
    // Screen readers would read the tooltip's markup.
    m_copy->setAccessibleDescription(copies);

    const bool pending = request.isPending();
    m_approve->setVisible(pending);
    m_reject->setVisible(pending);
    m_status->setVisible(!pending);
    m_status->setText(statusText(request.status));
    setAccessibleName(QStringLiteral("%1, %2, %3").arg(title, artist, m_status->text()));
    //: Spoken after a request's row: the keys that act on it (the letters are the keys)
    setAccessibleDescription(pending ? tr("A approves, R rejects, C copies") : tr("C copies"));
    // The buttons' names say which request they act on: a screen reader may
    // reach them without passing the row.
    //: Spoken for a request's button; %1 is the song's title, %2 its artist
    m_approve->setAccessibleName(tr("Approve %1 by %2").arg(title, artist));
    //: Spoken for a request's button; %1 is the song's title, %2 its artist
    m_reject->setAccessibleName(tr("Reject %1 by %2").arg(title, artist));
    //: Spoken for a request's button; %1 is the song's title, %2 its artist
    m_copy->setAccessibleName(tr("Copy %1 by %2").arg(title, artist));
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, statusColor(request.status));
    m_status->setPalette(palette);
}

QString RequestRow::copyText(const SongRequest &request)
{
    return request.songTitle + u' ' + request.artistName;
}

QColor RequestRow::statusColor(const QString &status)
{
    if (status == u"approved")
        return Theme::green;
    if (status == u"played")
        return Theme::blue;
    if (status == u"rejected")
        return Theme::softRed();
    return Theme::secondaryText;
}

QString RequestRow::statusText(const QString &status)
{
    if (status == u"approved")
        return tr("Approved");
    if (status == u"rejected")
        return tr("Rejected");
    if (status == u"played")
        return tr("Played");
    return capitalized(DisplayText::shortLine(status));
}

QString RequestRow::capitalized(const QString &status)
{
    QString result = status.toLower();
    bool wordStart = true;
    for (QChar &character : result) {
        if (character.isSpace()) {
            wordStart = true;
        } else if (wordStart) {
            character = character.toUpper();
            wordStart = false;
        }
    }
    return result;
}

QList<QWidget *> RequestRow::focusChain()
{
    return {this, m_copy, m_approve, m_reject};
}

void RequestRow::keyPressEvent(QKeyEvent *event)
{
    // Shift and the keypad aside, a modifier makes it some other shortcut.
    if (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) {
        RoundedFrame::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_A:
    case Qt::Key_R:
        if (m_request.isPending())
            answer(event->key() == Qt::Key_A ? RequestAction::approved : RequestAction::rejected);
        break;
    case Qt::Key_C:
        copyToClipboard();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        break; // a row has nothing to open
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
        Q_EMIT navigate(event->key());
        break;
    default:
        RoundedFrame::keyPressEvent(event);
        return;
    }
    event->accept();
}

void RequestRow::paintEvent(QPaintEvent *event)
{
    RoundedFrame::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintRoundedRing(painter, rect(), radius, 2.0, Theme::purple);
}

void RequestRow::answer(RequestAction action)
{
    m_state.act(m_request, action);
    Q_EMIT answered();
}

void RequestRow::copyToClipboard() const
{
    // setText replaces everything on the clipboard with this one plain string.
    QGuiApplication::clipboard()->setText(copyText(m_request), QClipboard::Clipboard);
}
