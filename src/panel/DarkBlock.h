#pragma once

#include <QWidget>

class LogoController;
class QCheckBox;
class QLabel;

// When the light goes dark though on: the user's two choices (a locked session, battery power)
// and, while it is held dark, why. The lid needs no choice: a closed lid always darkens it.
class DarkBlock : public QWidget {
    Q_OBJECT
public:
    DarkBlock(LogoController& logo, QWidget* parent);

    void refresh();
    void restyle(const QFont& caption, const QColor& secondary);

    QCheckBox* whenLockedBox() const { return m_whenLocked; }
    QCheckBox* onBatteryBox() const { return m_onBattery; }
    QLabel* reasonLine() const { return m_reason; }

private:
    LogoController& m_logo;
    QCheckBox* m_whenLocked = nullptr;
    QCheckBox* m_onBattery = nullptr;
    QLabel* m_reason = nullptr;
};
