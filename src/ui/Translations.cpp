#include "ui/Translations.h"

#include "ui/Symbols.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {

bool install()
{
    Symbols::registerResources();
    const QLocale locale;
    auto *qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    auto *app = new QTranslator(QCoreApplication::instance());
    if (!app->load(locale, QStringLiteral("cuelark"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return false;
    return QCoreApplication::installTranslator(app);
}

} // namespace Translations
