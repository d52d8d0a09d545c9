#include "ui/AppBundle.h"

#include "AppConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace AppBundle {

namespace {

QString resolveResourceBundleDirectory()
{
    const QString besideExecutable =
        QCoreApplication::applicationDirPath() + u'/' + QLatin1String(resourceBundleName);
    if (QFileInfo(besideExecutable).isDir())
        return besideExecutable;
    const QString installed = QString::fromUtf8(AppConfig::resourceBundleInstallDir);
    if (QFileInfo(installed).isDir())
        return installed;
    qFatal("could not load resource bundle: from %s or %s",
           qUtf8Printable(besideExecutable), qUtf8Printable(installed));
}

} // namespace

QString resourceBundleDirectory()
{
    static const QString directory = resolveResourceBundleDirectory();
    return directory;
}

QImage pngFrom(const QStringList &directories, const QString &name)
{
    for (const QString &directory : directories) {
        const QString path = directory + u'/' + name + QLatin1String(".png");
        if (!QFileInfo::exists(path))
            continue;
        QImageReader reader(path, "png");
        const QImage image = reader.read();
        if (!image.isNull())
            return image;
    }
    return {};
}

QImage png(const QString &name)
{
    // The bundle is resolved even when the compiled-in resources hold the image,
    // so a broken installation shows up on first use rather than by chance.
    const QStringList candidates{QStringLiteral(":"), resourceBundleDirectory()};
    return pngFrom(candidates, name);
}

} // namespace AppBundle
