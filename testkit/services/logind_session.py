'''A logind session for the LED module's tests, on a private bus standing in for the system bus.

SetBrightness appends "subsystem name value" to the file named by the parameter "log", then
succeeds ("behaviour": "accept"), fails as logind does for a session that is not in control
("refuse"), or hangs for three seconds ("stall").
'''

BUS_NAME = 'org.freedesktop.login1'
MAIN_OBJ = '/org/freedesktop/login1/session/auto'
MAIN_IFACE = 'org.freedesktop.login1.Session'
SYSTEM_BUS = True


def load(mock, parameters):
    record = f'open({parameters["log"]!r}, "a").write("%s %s %d\\n" % tuple(args))\n'
    endings = {
        'accept': '',
        'refuse': 'raise dbus.exceptions.DBusException("Not in control", '
                  'name="org.freedesktop.login1.NotInControl")',
        'stall': 'import time\ntime.sleep(3)',
    }
    code = record + endings[parameters.get('behaviour', 'accept')]
    mock.AddMethod(MAIN_IFACE, 'SetBrightness', 'ssu', '', code)
