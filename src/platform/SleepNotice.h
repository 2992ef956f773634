#pragma once

#include <QObject>

// The system's notice that it has woken from sleep. Emitted on the main thread.
class SleepNotice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void post() { emit resumed(); }

signals:
    void resumed();
};
