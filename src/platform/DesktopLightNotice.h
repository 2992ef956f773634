#pragma once

#include <QObject>

// The desktop setting the keyboard light itself: its power manager dims the light when the
// session goes idle, switches it off when the screen locks, restores it on return, and moves it
// from its settings' slider. Emitted on the main thread with the raw brightness the desktop set.
// The real notice is the system's (UPowerKeyboardNotice); a test tells one of these itself.
class DesktopLightNotice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether the desktop's control serves a keyboard light now, and that light's highest
    // brightness (0 while it serves none).
    bool present() const { return m_maxBrightness > 0; }
    int maxBrightness() const { return m_maxBrightness; }

    void serve(int maxBrightness) { m_maxBrightness = maxBrightness > 0 ? maxBrightness : 0; }
    void post(int brightness) { emit levelSet(brightness); }

signals:
    void levelSet(int brightness);

private:
    int m_maxBrightness = 0;
};
