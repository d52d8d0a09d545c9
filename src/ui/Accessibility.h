#pragma once

// What a screen reader needs beyond what Qt derives from each widget's class.
namespace Accessibility {
// Roles Qt cannot guess: the panel is a window, a request row an item of a
// list, a divider a separator, the spinner a busy animation, and each view's error line (objectName
// "errorMessage") an alert, which screen readers speak as soon as it appears;
// labels are read without their tooltips. Call once,
// before any window is shown.
void install();
} // namespace Accessibility
