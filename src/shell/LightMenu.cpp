#include "shell/LightMenu.h"

#include "control/LogoController.h"

LightMenu::LightMenu(LogoController& logo, QWidget* parent) : QMenu(parent), m_logo(logo)
{
    connect(this, &QMenu::aboutToShow, this, &LightMenu::rebuild);
    rebuild();
}

QString LightMenu::automaticText()
{
    return QStringLiteral("Automatic");
}

void LightMenu::rebuild()
{
    clear();
    QAction* automatic = addAction(automaticText());
    automatic->setCheckable(true);
    automatic->setChecked(m_logo.lightIsAutomatic());
    connect(automatic, &QAction::triggered, this, [this] { m_logo.chooseLight(QString()); });

    const auto lights = m_logo.lights();
    if (!lights.empty())
        addSeparator();
    const QString inUse = m_logo.light();
    for (const QString& name : lights) {
        QAction* action = addAction(name);
        action->setCheckable(true);
        action->setChecked(name == inUse);
        connect(action, &QAction::triggered, this, [this, name] { m_logo.chooseLight(name); });
    }
}
