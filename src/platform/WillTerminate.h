#pragma once

#include <QObject>

// The application's will-terminate notice: posted on the main thread once the application has
// decided to quit, before it goes (the application's quit handling posts it).
class WillTerminate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void post() { emit willTerminate(); }

signals:
    void willTerminate();
};
