#include "desktop/Autostart.h"

#include "AppConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace Autostart {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/autostart/") + QLatin1String(AppConfig::appId) + QStringLiteral(".desktop");
}

bool isEnabled()
{
    return QFileInfo::exists(entryPath());
}

QString execValue(const QString &executable)
{
    if (executable.isEmpty() || executable.contains(u'\n') || executable.contains(u'\r'))
        return {};
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(executable).hasMatch())
        return executable;
    // Inside the Exec key's double quotes, " ` $ \ take a backslash; the key's
    // value is a string, whose own escaping then doubles every backslash; a
    // literal % is written %%.
    QString quoted;
    for (const QChar c : executable) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'%', QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

bool setEnabled(bool enabled, const QString &executable)
{
    const QString path = entryPath();
    if (!enabled)
        return !QFileInfo::exists(path) || QFile::remove(path);
    const QString exec = execValue(executable);
    if (exec.isEmpty() || !QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Cuelark\n"
                                         "TryExec=%3\n"
                                         "Exec=%1\n"
                                         "Icon=%2\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(exec, QLatin1String(AppConfig::appId),
                                   // Once the program is gone, the desktop skips the entry.
                                   QString(executable).replace(u'\\', QStringLiteral("\\\\")));
    file.write(entry.toUtf8());
    return file.commit();
}

} // namespace Autostart
