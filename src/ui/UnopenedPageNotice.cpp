#include "ui/UnopenedPageNotice.h"

#include "AppState.h"
#include "DisplayText.h"
#include "ui/PanelFooter.h"
#include "ui/Widgets.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

UnopenedPageNotice::UnopenedPageNotice(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("unopenedPageNotice"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    QLabel *reason = makeLabel(QStringLiteral("unopenedPageReason"), Theme::TextStyle::caption2,
                               Theme::secondaryText, this);
    reason->setWordWrap(true);
    //: Shown when no web browser could be started for a link; its address follows.
    reason->setText(tr("No browser opened the page. Open this address in one:"));
    column->addWidget(reason);

    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    m_address = new ElidedLabel(this);
    styleLabel(m_address, QStringLiteral("unopenedPageAddress"), Theme::TextStyle::caption2, QColor(Qt::white));
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_address, 1);
    //: Copies the address of a page no browser opened.
    QPushButton *copy = makeButton(QStringLiteral("copyAddressButton"), tr("Copy"), Theme::TextStyle::caption2, this);
    connect(copy, &QPushButton::clicked, this, [this] {
        if (const std::optional<QUrl> &page = m_state.unopenedPage())
            QGuiApplication::clipboard()->setText(page->toString(QUrl::FullyEncoded));
    });
    row->addWidget(copy);
    column->addLayout(row);

    connect(&state, &AppState::unopenedPageChanged, this, &UnopenedPageNotice::sync);
    sync();
}

void UnopenedPageNotice::sync()
{
    const std::optional<QUrl> &page = m_state.unopenedPage();
    setVisible(page.has_value());
    const QString address = page ? page->toString(QUrl::FullyEncoded) : QString();
    m_address->setText(address);
    m_address->setToolTip(DisplayText::toolTip(address));
}
