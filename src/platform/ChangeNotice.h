#pragma once

#include <QObject>

// A notice that something outside the process changed a value. Emitted on the main thread.
class ChangeNotice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void post() { emit changed(); }

signals:
    void changed();
};
