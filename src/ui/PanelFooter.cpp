#include "ui/PanelFooter.h"

#include "AppConfig.h"
#include "AppLinks.h"
#include "AppState.h"
#include "AppVersion.h"
#include "DisplayText.h"
#include "Logging.h"
#include "Texts.h"
#include "WebUrl.h"
#include "ui/FlowLayout.h"
#include "ui/UnopenedPageNotice.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QVBoxLayout>

// "v1.0.0", and the service's host when it is not the real one, so that a
// build for the stand-in never passes for a release.
QString versionLine(const QUrl &serviceUrl)
{
    const QString version = u'v' + AppVersion::shortVersion();
    if (serviceUrl == QUrl(QString::fromLatin1(AppConfig::realServiceUrl)))
        return version;
    return version + QStringLiteral(" \u00B7 ") + serviceUrl.authority();
}

QPushButton *makeButton(const QString &objectName, const QString &text, Theme::TextStyle style,
                        QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    makeCompact(button, style);
    return button;
}

void makeCompact(QPushButton *button, Theme::TextStyle style)
{
    button->setFont(Theme::font(style));
    button->setAutoDefault(false);
    const QFontMetrics metrics(button->font());
    button->setFixedSize(metrics.horizontalAdvance(button->text()) + 16, metrics.height() + 10);
}

LinkButton::LinkButton(AppState &state, const QString &title, QString urlString, QWidget *parent)
    : QPushButton(title, parent), m_state(state), m_urlString(std::move(urlString))
{
    makeCompact(this, Theme::TextStyle::caption2);
    setToolTip(DisplayText::toolTip(m_urlString));
    // Screen readers would read the tooltip's markup.
    setAccessibleDescription(m_urlString);
    connect(this, &QPushButton::clicked, this, &LinkButton::open);
}

void LinkButton::open()
{
    if (const std::optional<QUrl> url = parseWebUrl(m_urlString))
        m_state.openPage(*url);
}

QuitButton::QuitButton(QWidget *parent)
    : QPushButton(Texts::quit(), parent)
{
    setObjectName(QStringLiteral("quitButton"));
    makeCompact(this, Theme::TextStyle::caption);
    connect(this, &QPushButton::clicked, qApp, &QCoreApplication::quit);
}

PanelFooterLinks::PanelFooterLinks(AppState &state, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("panelFooterLinks"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    column->addWidget(new UnopenedPageNotice(state, this));
    QLabel *version = makeLabel(QStringLiteral("versionLabel"), Theme::TextStyle::caption2,
                                Theme::secondaryText, this);
    version->setText(versionLine(state.serviceUrl()));
    column->addWidget(version, 0, Qt::AlignHCenter);

    QLayout *row = buildLinkRow(state);
    column->addLayout(row);

    if (state.startsAtLogin())
        column->addWidget(new StartAtLoginBox(state, this), 0, Qt::AlignHCenter);
}

QLayout *PanelFooterLinks::buildLinkRow(AppState &state)
{
    // Wraps when a translation or a large font makes the row too long.
    auto *row = new FlowLayout(Qt::AlignHCenter, 8);
    QPushButton *check = makeButton(QStringLiteral("checkForUpdatesButton"),
                                    tr("Check for updates"),
                                    Theme::TextStyle::caption2, this);
    connect(check, &QPushButton::clicked, &state, &AppState::checkForUpdates);
    row->addWidget(check);

    const QUrl &serviceUrl = state.serviceUrl();
    const struct {
        const char *objectName;
        QString title;
        QString url;
    } links[] = {
        //: A link to the service's download page.
        {"downloadLink", tr("Download"), AppLinks::download(serviceUrl)},
        {"privacyLink", tr("Privacy"), AppLinks::privacyPage(serviceUrl)},
        //: A link to the service's terms of service.
        {"termsLink", tr("Terms"), AppLinks::termsOfService(serviceUrl)},
    };
    for (const auto &link : links) {
        auto *button = new LinkButton(state, link.title, link.url, this);
        button->setObjectName(QLatin1String(link.objectName));
        row->addWidget(button);
    }
    return row;
}

// The setting lives with the desktop (an autostart entry): read each time the
// panel is built, and shown as it is after a change, so a failed write reverts.
StartAtLoginBox::StartAtLoginBox(AppState &state, QWidget *parent)
    : QCheckBox(tr("Start at login"), parent)
{
    setObjectName(QStringLiteral("startAtLoginBox"));
    setFont(Theme::font(Theme::TextStyle::caption2));
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Theme::secondaryText);
    colours.setColor(QPalette::Base, Theme::controlFill);
    setPalette(colours);
    setChecked(state.startsAtLogin().value_or(false));
    connect(this, &QCheckBox::toggled, this, [this, &state](bool wanted) {
        if (!state.setStartAtLogin(wanted))
            qCWarning(lcUi) << "the start-at-login setting could not be changed";
        const QSignalBlocker blocker(this);
        setChecked(state.startsAtLogin().value_or(false));
    });
}

PanelFooter::PanelFooter(AppState &state, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("panelFooter"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(new PanelFooterLinks(state, this));
    column->addWidget(new QuitButton(this), 0, Qt::AlignHCenter);
}
