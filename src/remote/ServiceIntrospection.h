#pragma once

#include <QString>

// What RemoteService offers, as D-Bus introspection data: the two interfaces it serves itself.
// Qt adds Properties, Introspectable and Peer.
class ServiceIntrospection {
public:
    static QString interfaces();
};
