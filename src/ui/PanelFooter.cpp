#include "ui/PanelFooter.h"

#include "AppLinks.h"
#include "AppState.h"
#include "AppVersion.h"
#include "Autostart.h"
#include "WebUrl.h"
#include "api/Errors.h"
#include "ui/Widgets.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateNotifier.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// Each press runs its own check. Unlike the automatic check, a failure is shown:
// "up to date" would be a wrong answer when nothing could be learnt.
QCoro::Task<> checkForUpdates(QPointer<AppState> state)
{
    const QUrl serviceUrl = state->serviceUrl();
    std::optional<UpdateAvailable> update;
    std::optional<QString> failure;
    try {
        update = co_await UpdateChecker::fetchUpdate(serviceUrl);
    } catch (const ServiceError &error) {
        failure = error.description();
    }
    if (!state)
        co_return;
    if (failure)
        UpdateNotifier::showCheckFailedAlert(*failure, state->platform());
    else if (update)
        UpdateNotifier::promptIfNeeded(*update, true, state->platform());
    else
        UpdateNotifier::showUpToDateAlert(state->platform());
}

} // namespace

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
    setToolTip(plainTextToolTip(m_urlString));
    connect(this, &QPushButton::clicked, this, &LinkButton::open);
}

void LinkButton::open()
{
    if (const std::optional<QUrl> url = parseWebUrl(m_urlString); url && m_state.platform().openUrl)
        m_state.platform().openUrl(*url);
}

QuitButton::QuitButton(QWidget *parent)
    : QPushButton(tr("Quit"), parent)
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

    QLabel *version = makeLabel(QStringLiteral("versionLabel"), Theme::TextStyle::caption2,
                                Theme::secondaryText, this);
    version->setText(u'v' + AppVersion::shortVersion());
    column->addWidget(version, 0, Qt::AlignHCenter);

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    QPushButton *check = makeButton(QStringLiteral("checkForUpdatesButton"),
                                    tr("Check for updates"),
                                    Theme::TextStyle::caption2, this);
    QPointer<AppState> statePointer(&state);
    connect(check, &QPushButton::clicked, this, [statePointer] {
        if (statePointer)
            checkForUpdates(statePointer);
    });
    row->addWidget(check);

    const QUrl &serviceUrl = state.serviceUrl();
    const struct {
        const char *objectName;
        QString title;
        QString url;
    } links[] = {
        {"downloadLink", tr("Download"), AppLinks::download(serviceUrl)},
        {"privacyLink", tr("Privacy"), AppLinks::privacyPage(serviceUrl)},
        {"termsLink", tr("Terms"), AppLinks::termsOfService(serviceUrl)},
    };
    for (const auto &link : links) {
        auto *button = new LinkButton(state, link.title, link.url, this);
        button->setObjectName(QLatin1String(link.objectName));
        row->addWidget(button);
    }
    column->addLayout(row);
    column->setAlignment(row, Qt::AlignHCenter);

    // The autostart entry's presence is the setting: read each time the panel
    // is built, and shown as it is after a change, so a failed write reverts.
    auto *startAtLogin = new QCheckBox(tr("Start at login"), this);
    startAtLogin->setObjectName(QStringLiteral("startAtLoginBox"));
    startAtLogin->setFont(Theme::font(Theme::TextStyle::caption2));
    QPalette palette = startAtLogin->palette();
    palette.setColor(QPalette::WindowText, Theme::secondaryText);
    palette.setColor(QPalette::Base, Theme::cardBorder);
    startAtLogin->setPalette(palette);
    startAtLogin->setChecked(Autostart::isEnabled());
    connect(startAtLogin, &QCheckBox::toggled, this, [startAtLogin](bool wanted) {
        Autostart::setEnabled(wanted, QCoreApplication::applicationFilePath());
        const QSignalBlocker blocker(startAtLogin);
        startAtLogin->setChecked(Autostart::isEnabled());
    });
    column->addWidget(startAtLogin, 0, Qt::AlignHCenter);
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
