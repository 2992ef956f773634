#pragma once

#include <QObject>

// The application's will-terminate notification: emitted on the main thread once the
// application has decided to quit, before it goes.
class WillTerminate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The process's notice, forwarding QCoreApplication::aboutToQuit.
    static WillTerminate& application();

    void post() { emit willTerminate(); }

signals:
    void willTerminate();
};
