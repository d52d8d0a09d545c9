#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QApplication;

// The panel's colours and text styles.
namespace Theme {
inline const QColor cardBackground{15, 23, 42};
inline const QColor cardBorder{30, 41, 59};
inline const QColor purple{192, 138, 252};
// The prominent button and selections; white text on them reads at 4.5:1 or
// better in every state (a lighter purple gives only 4:1).
inline const QColor purpleBase{147, 51, 234};
inline const QColor purpleHovered{155, 66, 240};
inline const QColor purplePressed{126, 34, 206};
inline const QColor green{74, 222, 128};
inline const QColor blue{96, 165, 250};
inline const QColor secondaryText{148, 163, 184};
// The box of a check box: it must stand out from the panel (3:1) to be seen as
// a control, and its tick from it.
inline const QColor controlFill{100, 116, 139};

// The desktop has no semantic "system red"; this is the usual dark-mode red.
inline const QColor red{255, 69, 58};
// A softer red for reject icons and the "rejected" status: opaque, because the
// status is small text that must stay readable on the panel.
QColor softRed();

// Semantic text styles, sized from the desktop's font: caption2 < caption < callout < title2.
// All in the regular weight: size and colour set text apart, and the panel
// needs only the one face (a bolder one is another font file to load).
enum class TextStyle { caption2, caption, callout, title2 };
QFont font(TextStyle style);

// A dark palette based on cardBackground, used app-wide and on the panel itself.
QPalette darkPalette();
// Fusion style and the dark palette for the whole application.
void applyDarkAppearance(QApplication &app);
} // namespace Theme
