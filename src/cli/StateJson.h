#pragma once

#include <QByteArray>
#include <QVariantMap>

// The running Beamwick's state as --get and --follow print it: one JSON object on one line, the
// D-Bus property names with a small first letter ("on", "mode", "brightness",
// "breatheSeconds", ..., "musicStatus", "lastError").
class StateJson {
public:
    static QByteArray line(const QVariantMap& properties);
};
