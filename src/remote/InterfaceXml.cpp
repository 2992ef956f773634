#include "remote/InterfaceXml.h"

#include "remote/PropertyTable.h"

QString InterfaceXml::interfaces()
{
    return QStringLiteral(R"(  <interface name="org.freedesktop.Application">
    <method name="Activate">
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
    <method name="Open">
      <arg type="as" name="uris" direction="in"/>
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
    <method name="ActivateAction">
      <arg type="s" name="action_name" direction="in"/>
      <arg type="av" name="parameter" direction="in"/>
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
  </interface>
  <interface name="org.beamwick.Beamwick1">
    <method name="Toggle"/>
)") + PropertyTable::introspection() +
           QStringLiteral(R"(  </interface>
)");
}
