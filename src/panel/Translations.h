#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace Translations {

// Installs the panel's translation for `locale` when Beamwick ships one; otherwise the texts
// stay in English. Returns the installed translator, owned by `app` (deleting it uninstalls it),
// or nothing.
QTranslator* install(QCoreApplication& app, const QLocale& locale = QLocale());

} // namespace Translations
