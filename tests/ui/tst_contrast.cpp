// Every colour of the theme against what it sits on meets WCAG AA: 4.5:1 for
// text, 3:1 for icons, focus rings and large text.

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

qreal contrast(const QColor &a, const QColor &b)
{
    const auto [dark, light] = std::minmax({luminance(a), luminance(b)});
    return (light + 0.05) / (dark + 0.05);
}

constexpr qreal text = 4.5;
constexpr qreal graphic = 3.0;

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
        // The prominent "Sign in" button in each state, and its focus border.
        for (const auto &[name, face] : {std::pair{"prominent", Theme::purpleBase}, {"hovered", Theme::purpleHovered},
                                         {"pressed", Theme::purplePressed}})
            QTest::newRow(name) << QColor(Qt::white) << face << text;
        QTest::newRow("prominent button on the panel") << Theme::purpleBase << panel << graphic;
        QTest::newRow("row focus ring") << Theme::purple << panel << graphic;
        QTest::newRow("check box on the panel") << Theme::controlFill << panel << graphic;
        QTest::newRow("tick in the check box") << Theme::darkPalette().color(QPalette::Text) << Theme::controlFill
                                               << graphic;

        const QPalette palette = Theme::darkPalette();
        const std::pair<QPalette::ColorRole, QPalette::ColorRole> pairs[] = {
            {QPalette::WindowText, QPalette::Window}, {QPalette::Text, QPalette::Base},
            {QPalette::ButtonText, QPalette::Button}, {QPalette::PlaceholderText, QPalette::Base},
            {QPalette::HighlightedText, QPalette::Highlight}, {QPalette::ToolTipText, QPalette::ToolTipBase},
            {QPalette::Link, QPalette::Window}, {QPalette::BrightText, QPalette::Window}};
        for (const auto group : {QPalette::Active, QPalette::Disabled})
            for (const auto &[fore, back] : pairs)
                QTest::addRow("%s %s on %s", group == QPalette::Active ? "palette" : "disabled",
                              QMetaEnum::fromType<QPalette::ColorRole>().valueToKey(fore),
                              QMetaEnum::fromType<QPalette::ColorRole>().valueToKey(back))
                    << palette.color(group, fore) << palette.color(group, back) << text;
    }
    void ratio()
    {
        QFETCH(QColor, foreground);
        QFETCH(QColor, background);
        QFETCH(qreal, minimum);
        QVERIFY(foreground.alpha() == 255); // a translucent colour's ratio depends on what is under it
        const qreal ratio = contrast(foreground, background);
        qInfo("%s on %s: %.2f:1", qPrintable(foreground.name()), qPrintable(background.name()), ratio);
        QVERIFY2(ratio >= minimum, qPrintable(QStringLiteral("%1:1, below %2:1").arg(ratio, 0, 'f', 2).arg(minimum)));
    }
};

QTEST_MAIN(ContrastTest)
#include "tst_contrast.moc"
