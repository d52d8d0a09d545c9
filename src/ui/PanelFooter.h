#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QWidget>

#include "ui/Theme.h"

class AppState;

QString versionLine(const QUrl &serviceUrl);

// A push button with text in one of the theme's text styles, only as wide as its
// text (the style's usual minimum width would not fit four in the panel's row).
QPushButton *makeButton(const QString &objectName, const QString &text, Theme::TextStyle style,
                        QWidget *parent);
void makeCompact(QPushButton *button, Theme::TextStyle style);

// Opens one web page of the service in the browser (or offers its address). A text that is not a web
// address does nothing.
class LinkButton : public QPushButton {
    Q_OBJECT
public:
    LinkButton(AppState &state, const QString &title, QString urlString, QWidget *parent = nullptr);

private:
    void open();

    AppState &m_state;
    QString m_urlString;
};

// Ends the application at once, without confirmation.
class QuitButton : public QPushButton {
    Q_OBJECT
public:
    explicit QuitButton(QWidget *parent = nullptr);
};

// Version line, "Check for updates" and the links to the service's pages.
class PanelFooterLinks : public QWidget {
    Q_OBJECT
public:
    explicit PanelFooterLinks(AppState &state, QWidget *parent = nullptr);

private:
    // "Check for updates" and the service's pages.
    QLayout *buildLinkRow(AppState &state);
};

// "Start at login", where the desktop has such a setting.
class StartAtLoginBox : public QCheckBox {
    Q_OBJECT
public:
    StartAtLoginBox(AppState &state, QWidget *parent = nullptr);
};

// PanelFooterLinks with "Quit" below, for the sign-in view.
class PanelFooter : public QWidget {
    Q_OBJECT
public:
    explicit PanelFooter(AppState &state, QWidget *parent = nullptr);
};
