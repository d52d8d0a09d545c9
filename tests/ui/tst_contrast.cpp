// Every colour of the theme against what it sits on meets WCAG AA: 4.5:1 for
// text, 3:1 for icons, focus rings and the edges of controls. The tray icon
// reads on the bars of the desktops, live and dimmed.

#include "ui/StatusBarIcon.h"
#include "ui/Theme.h"

#include <QTest>

#include <optional>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {
qreal luminance(const QColor &color)
{
    const auto channel = [](qreal c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}
qreal contrast(const QColor &a, const QColor &b)
{
    const auto [dark, light] = std::minmax({luminance(a), luminance(b)});
    return (light + 0.05) / (dark + 0.05);
}
constexpr qreal text = 4.5, graphic = 3.0;
} // namespace

using StatusBarIcon::Tray;

class ContrastTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ratio_data()
    {
        QTest::addColumn<QColor>("foreground");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<qreal>("minimum");
        const QColor panel = Theme::cardBackground;
        for (const auto &[name, colour] : {std::pair{"secondary", Theme::secondaryText}, {"green", Theme::green},
                                           {"blue", Theme::blue}, {"red", Theme::red}, {"soft red", Theme::softRed()},
                                           {"purple", Theme::purple}})
            QTest::newRow(name) << colour << panel << text;
        // The prominent "Sign in" button in each state, and its edge on the panel.
        for (const auto &[name, face] : {std::pair{"prominent", Theme::purpleBase}, {"hovered", Theme::purpleHovered},
                                         {"pressed", Theme::purplePressed}})
            QTest::newRow(name) << QColor(Qt::white) << face << text;
        QTest::newRow("prominent button's edge") << Theme::purpleBase << panel << graphic;
        QTest::newRow("row focus ring") << Theme::purple << panel << graphic;
        QTest::newRow("check box's edge") << Theme::controlFill << panel << graphic;
        QTest::newRow("check box's tick") << Theme::darkPalette().color(QPalette::Text) << Theme::controlFill << graphic;

        const QPalette palette = Theme::darkPalette();
        using P = QPalette;
        const std::pair<P::ColorRole, P::ColorRole> pairs[] = {
            {P::WindowText, P::Window}, {P::Text, P::Base}, {P::ButtonText, P::Button}, {P::PlaceholderText, P::Base},
            {P::HighlightedText, P::Highlight}, {P::ToolTipText, P::ToolTipBase}, {P::Link, P::Window},
            {P::BrightText, P::Window}};
        const QMetaEnum roles = QMetaEnum::fromType<P::ColorRole>();
        for (const auto group : {P::Active, P::Disabled})
            for (const auto &[fore, back] : pairs)
                QTest::addRow("%s %s on %s", group == P::Active ? "palette" : "disabled", roles.valueToKey(fore),
                              roles.valueToKey(back))
                    << palette.color(group, fore) << palette.color(group, back) << text;
    }
    void ratio()
    {
        QFETCH(QColor, foreground);
        QFETCH(QColor, background);
        QVERIFY(foreground.alpha() == 255); // a translucent colour's ratio depends on what is under it
        const qreal ratio = contrast(foreground, background);
        qInfo("%s on %s: %.2f:1", qPrintable(foreground.name()), qPrintable(background.name()), ratio);
        QFETCH(qreal, minimum);
        QVERIFY(ratio >= minimum);
    }

    // The bars as each desktop draws them by default, with the hint it gives (or
    // none). The note's outline is its fill, or its halo where it has one: the
    // better of the two meets 3:1, signed out (dimmed) too.
    void trayIcon_data()
    {
        QTest::addColumn<QColor>("bar");
        QTest::addColumn<std::optional<QColor>>("trayForeground");
        QTest::addColumn<QString>("desktop");
        const std::optional<QColor> none;
        QTest::newRow("GNOME's black top bar") << QColor(0, 0, 0) << none << u"ubuntu:GNOME"_s;
        QTest::newRow("X11 tray, light text") << QColor(43, 43, 43) << std::optional(QColor(238, 238, 236)) << u"XFCE"_s;
        QTest::newRow("X11 tray, dark text") << QColor(220, 220, 220) << std::optional(QColor(46, 52, 54)) << QString();
        QTest::newRow("no hint: dark grey (XFCE)") << QColor(43, 43, 43) << none << u"XFCE"_s;
        QTest::newRow("no hint: Breeze Dark") << QColor(49, 54, 59) << none << u"KDE"_s;
        QTest::newRow("no hint: Breeze") << QColor(239, 240, 241) << none << u"KDE"_s;
        QTest::newRow("no hint: waybar") << QColor(43, 48, 59) << none << u"sway"_s;
        QTest::newRow("no hint: mid grey") << QColor(128, 128, 128) << none << QString();
    }
    void trayIcon()
    {
        QFETCH(QColor, bar);
        QFETCH(std::optional<QColor>, trayForeground);
        QFETCH(QString, desktop);
        const Tray tray = StatusBarIcon::trayFor(trayForeground, desktop);
        for (const auto look : {StatusBarIcon::Look::live, StatusBarIcon::Look::dimmed}) {
            const StatusBarIcon::Ink ink = StatusBarIcon::ink(tray, look);
            const qreal ratio = std::max(contrast(ink.fill, bar), ink.halo ? contrast(*ink.halo, bar) : 0.0);
            qInfo("%s note on %s: %.2f:1", look == StatusBarIcon::Look::live ? "live" : "dimmed", qPrintable(bar.name()), ratio);
            QVERIFY(ratio >= graphic);
            // What is drawn is that ink.
            const QImage image = StatusBarIcon::image(std::nullopt, tray, look, 32);
            bool drawn = false;
            for (int i = 0; i < 32 * 32 && !drawn; ++i)
                drawn = image.pixelColor(i % 32, i / 32) == ink.fill;
            QVERIFY(drawn);
        }
    }
};

QTEST_MAIN(ContrastTest)
#include "tst_contrast.moc"
