#include "shell/TrayHostWatch.h"

TrayHostWatch::TrayHostWatch(QObject* parent) : QObject(parent)
{
    connect(&m_statusNotifier, &StatusNotifierWatch::changed, this, &TrayHostWatch::changed);
    connect(&m_xembed, &XEmbedTrayWatch::changed, this, &TrayHostWatch::changed);
}

bool TrayHostWatch::isAvailable()
{
    // Both are asked every time: the XEmbed check also starts watching a new selection owner.
    const bool xembed = m_xembed.trayOwned();
    return m_statusNotifier.hostRegistered() || xembed;
}
