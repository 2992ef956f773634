#include "app/QuitHandling.h"

#include "platform/DefaultsStore.h"
#include "platform/WillTerminate.h"

#include <QCoreApplication>

QuitHandling::QuitHandling(WillTerminate& willTerminate, DefaultsStore& settings)
{
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &m_signals,
                     [&willTerminate, &settings] {
                         willTerminate.post();
                         settings.flush();
                     });
}
