#pragma once

#include <QObject>

// Whether a StatusNotifier watcher on the session bus has a tray host registered with it. The
// watcher's bus name coming or going and its hosts registering or leaving are reported as they
// happen.
class StatusNotifierWatch final : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierWatch(QObject* parent = nullptr);
    ~StatusNotifierWatch() override;

    // Asks the watcher now; false when there is none or it does not answer in time.
    bool hostRegistered() const;

signals:
    // The watcher or its hosts may have come or gone.
    void changed();

private slots:
    void onHostSignal();

private:
    void followBus(bool follow);
};
