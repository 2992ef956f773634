#include "panel/Translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace Translations {

QTranslator* install(QCoreApplication& app, const QLocale& locale)
{
    // Owned by the application, so it lives exactly as long as the texts it translates.
    auto* translator = new QTranslator(&app);
    if (!translator->load(locale, QStringLiteral("beamwick"), QStringLiteral("_"),
                          QStringLiteral(":/i18n"))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace Translations
