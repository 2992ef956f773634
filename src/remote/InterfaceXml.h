#pragma once

#include <QString>

// The XML that tells a D-Bus client what RemoteService offers: the two interfaces it serves
// itself. Qt describes the standard ones (Properties, Peer and the rest) on its own.
class InterfaceXml {
public:
    static QString interfaces();
};
