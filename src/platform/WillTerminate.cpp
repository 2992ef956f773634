#include "platform/WillTerminate.h"

#include <QCoreApplication>

WillTerminate& WillTerminate::application()
{
    static WillTerminate* notice = [] {
        auto* n = new WillTerminate(QCoreApplication::instance());
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, n,
                         &WillTerminate::post);
        return n;
    }();
    return *notice;
}
