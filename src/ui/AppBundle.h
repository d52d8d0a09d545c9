#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Images shipped with the application, looked up by name.
namespace AppBundle {
inline constexpr char resourceBundleName[] = "CuelarkMenuBar_CuelarkMenuBar.bundle";

// "<name>.png" from the compiled-in resources, else from the resource bundle
// directory; a null image when neither holds a loadable one. The first call
// resolves the resource bundle directory and stops the program when it is missing.
QImage png(const QString &name);

// The resource bundle directory: beside the executable, else where the build
// installs it.
QString resourceBundleDirectory();

// The lookup itself over explicit candidate directories, in order.
QImage pngFrom(const QStringList &directories, const QString &name);
} // namespace AppBundle
