#include "ui/LoginView.h"

#include "AppState.h"
#include "DisplayText.h"
#include "ui/BrandLogo.h"
#include "ui/PanelFooter.h"
#include "ui/Widgets.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A button in the brand purple, for the one thing the view is there for.
QPushButton *makeProminentButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setMinimumHeight(30);
    QPalette prominent = button->palette();
    prominent.setColor(QPalette::Button, Theme::purpleBase);
    prominent.setColor(QPalette::ButtonText, Qt::white);
    button->setPalette(prominent);
    // Fusion lightens and desaturates a palette's button colour; the prominent
    // button must show the brand purple itself, with readable white text.
    button->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; color: white; border: 1px solid %1;"
                       " border-radius: 6px; padding: 4px 12px; }"
                       "QPushButton:hover { background-color: %2; }"
                       "QPushButton:pressed { background-color: %3; }"
                       "QPushButton:focus { border-color: white; }")
            .arg(Theme::purpleBase.name(), Theme::purpleHovered.name(), Theme::purplePressed.name()));
    return button;
}

} // namespace

LoginView::LoginView(AppState &state, QWidget *parent)
    : StateView(state, parent)
{
    setObjectName(QStringLiteral("loginView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(14);

    column->addWidget(new BrandLogo(44, this), 0, Qt::AlignHCenter);

    m_explanation = makeLabel(QStringLiteral("signInExplanation"), Theme::TextStyle::callout,
                              Theme::secondaryText, this);
    m_explanation->setText(tr("Sign in to see your events and live request queue."));
    m_explanation->setWordWrap(true);
    m_explanation->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_explanation);

    m_signInButton = makeProminentButton(tr("Sign in with Browser"), this);
    m_signInButton->setObjectName(QStringLiteral("signInButton"));
    //: Spoken after the "Sign in with Browser" button
    m_signInButton->setAccessibleDescription(tr("Opens the sign-in page in your web browser"));
    connect(m_signInButton, &QPushButton::clicked, this, [this] { this->state().signIn(); });
    column->addWidget(m_signInButton);

    m_spinner = new Spinner(this);
    column->addWidget(m_spinner, 0, Qt::AlignHCenter);

    m_waitingText = makeLabel(QStringLiteral("waitingText"), Theme::TextStyle::callout,
                              Theme::secondaryText, this);
    m_waitingText->setText(tr("Finish signing in from your browser…"));
    m_waitingText->setWordWrap(true);
    m_waitingText->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_waitingText);

    m_cancelButton = new QPushButton(tr("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { this->state().cancelSignIn(); });
    column->addWidget(m_cancelButton, 0, Qt::AlignHCenter);

    m_error = makeLabel(QStringLiteral("errorMessage"), Theme::TextStyle::caption, Theme::red, this);
    m_error->setWordWrap(true);
    m_error->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_error);

    column->addWidget(new Divider(this));
    column->addWidget(new PanelFooter(state, this));

    sync();
}

void LoginView::sync()
{
    const bool waiting = state().authState() == AppState::AuthState::waitingForBrowser;
    // Keyboard focus follows the swap between the two buttons instead of
    // falling to the footer when the focused one hides.
    const bool buttonFocused = m_signInButton->hasFocus() || m_cancelButton->hasFocus();
    m_explanation->setVisible(!waiting);
    m_signInButton->setVisible(!waiting);
    m_spinner->setVisible(waiting);
    m_waitingText->setVisible(waiting);
    m_cancelButton->setVisible(waiting);
    if (buttonFocused)
        (waiting ? m_cancelButton : m_signInButton)->setFocus();

    // The keyring's notice when there is no error to show.
    const std::optional<QString> &error = state().errorMessage() ? state().errorMessage() : state().storeNotice();
    // Wraps, but a service that sends pages of text cannot stretch the panel off the screen.
    m_error->setText(DisplayText::shortLine(error.value_or(QString())));
    m_error->setVisible(error.has_value());
}
