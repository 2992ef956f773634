#include "remote/InterfaceXml.h"

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
    <property name="On" type="b" access="readwrite"/>
    <property name="Mode" type="s" access="readwrite"/>
    <property name="Brightness" type="d" access="readwrite"/>
    <property name="BreatheSeconds" type="d" access="readwrite"/>
    <property name="Sensitivity" type="d" access="readwrite"/>
    <property name="Light" type="s" access="readwrite"/>
    <property name="Lights" type="as" access="read"/>
    <property name="MusicStatus" type="s" access="read"/>
    <property name="LastError" type="s" access="read"/>
  </interface>
)");
}
