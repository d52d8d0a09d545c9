// Every colour of the theme against what it sits on meets WCAG AA: 4.5:1 for
// text, 3:1 for icons, focus rings and the edges of controls.

#include "ui/Theme.h"

#include <QTest>

#include <algorithm>
#include <cmath>

namespace {
qreal luminance(const QColor &color)
{
    const auto channel = [](qreal c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}
constexpr qreal text = 4.5, graphic = 3.0;
} // namespace

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
        const auto [dark, light] = std::minmax({luminance(foreground), luminance(background)});
        const qreal ratio = (light + 0.05) / (dark + 0.05);
        qInfo("%s on %s: %.2f:1", qPrintable(foreground.name()), qPrintable(background.name()), ratio);
        QFETCH(qreal, minimum);
        QVERIFY(ratio >= minimum);
    }
};

QTEST_MAIN(ContrastTest)
#include "tst_contrast.moc"
