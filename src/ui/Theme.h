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
inline const QColor purpleBase{168, 85, 247};
inline const QColor green{74, 222, 128};
inline const QColor blue{96, 165, 250};
inline const QColor secondaryText{148, 163, 184};

// The desktop has no semantic "system red"; this is the usual dark-mode red.
inline const QColor red{255, 69, 58};
// Red at 80 % opacity, for reject icons and the "rejected" status.
QColor softRed();

// Semantic text styles, sized from the desktop's font: caption2 < caption < callout < title2.
enum class TextStyle { caption2, caption, callout, title2 };
QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

// A dark palette based on cardBackground, used app-wide and on the panel itself.
QPalette darkPalette();
// Fusion style and the dark palette for the whole application.
void applyDarkAppearance(QApplication &app);
} // namespace Theme
