#include "ui/RequestRow.h"

#include "AppState.h"
#include "DisplayText.h"
#include "ui/Symbols.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
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

ElidedLabel *makeLine(const QString &objectName, Theme::TextStyle style, QFont::Weight weight,
                      const QColor &color, QWidget *parent)
{
    auto *label = new ElidedLabel(parent);
    styleLabel(label, objectName, style, color, weight);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

} // namespace

RequestRow::RequestRow(AppState &state, const SongRequest &request, QWidget *parent)
    : RoundedFrame(10, std::nullopt, parent), m_state(state)
{
    setObjectName(QStringLiteral("requestRow"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 8, 8, 8);
    row->setSpacing(8);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    m_title = makeLine(QStringLiteral("songTitle"), Theme::TextStyle::callout, QFont::Medium,
                       Qt::white, this);
    m_artist = makeLine(QStringLiteral("artistName"), Theme::TextStyle::caption, QFont::Normal,
                        Theme::secondaryText, this);
    lines->addWidget(m_title);
    lines->addWidget(m_artist);
    row->addLayout(lines, 1);
    row->addSpacing(4);

    m_copy = makeIconButton(QStringLiteral("copyButton"), Symbols::copy, Theme::secondaryText,
                            QStringLiteral("Copy"), this);
    connect(m_copy, &QToolButton::clicked, this, &RequestRow::copyToClipboard);
    row->addWidget(m_copy);

    m_approve = makeIconButton(QStringLiteral("approveButton"), Symbols::approve, Theme::green,
                               QStringLiteral("Approve"), this);
    connect(m_approve, &QToolButton::clicked, this,
            [this] { m_state.act(m_request, RequestAction::approved); });
    row->addWidget(m_approve);

    m_reject = makeIconButton(QStringLiteral("rejectButton"), Symbols::reject, Theme::softRed(),
                              QStringLiteral("Reject"), this);
    connect(m_reject, &QToolButton::clicked, this,
            [this] { m_state.act(m_request, RequestAction::rejected); });
    row->addWidget(m_reject);

    m_status = new ElidedLabel(this);
    styleLabel(m_status, QStringLiteral("statusLabel"), Theme::TextStyle::caption2, Theme::secondaryText);
    m_status->setMaximumWidth(maxStatusWidth);
    row->addWidget(m_status);

    setRequest(request);
}

void RequestRow::setRequest(const SongRequest &request)
{
    m_request = request;
    setUntrustedText(m_title, request.songTitle);
    setUntrustedText(m_artist, request.artistName);
    m_copy->setToolTip(plainTextToolTip(tr("Copy \"%1\"").arg(DisplayText::shortLine(copyText(request)))));

    const bool pending = request.isPending();
    m_approve->setVisible(pending);
    m_reject->setVisible(pending);
    m_status->setVisible(!pending);
    m_status->setText(capitalized(DisplayText::shortLine(request.status)));
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

QList<QWidget *> RequestRow::focusChain() const
{
    return {m_copy, m_approve, m_reject};
}

void RequestRow::copyToClipboard() const
{
    // setText replaces everything on the clipboard with this one plain string.
    QGuiApplication::clipboard()->setText(copyText(m_request), QClipboard::Clipboard);
}
