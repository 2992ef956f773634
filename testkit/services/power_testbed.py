'''A umockdev testbed for the tests that need the kernel to announce a change: a keyboard light,
and a mains power supply whose "online" the test flips with SIGUSR1 (unplugged) and SIGUSR2
(plugged in), each announced with a "change" uevent as the kernel announces it. The testbed's
folder is written to the file named by the first argument once it is ready; SIGTERM ends it.'''
import os
import signal
import sys

import gi
gi.require_version('UMockdev', '1.0')
from gi.repository import GLib, UMockdev  # noqa: E402

bed = UMockdev.Testbed.new()
bed.add_device('leds', 'test::kbd_backlight', None,
               ['brightness', '2', 'max_brightness', '3', 'trigger', '[none] timer'], [])
ac = bed.add_device('power_supply', 'AC', None, ['type', 'Mains', 'online', '1'],
                    ['POWER_SUPPLY_NAME', 'AC', 'POWER_SUPPLY_TYPE', 'Mains',
                     'POWER_SUPPLY_ONLINE', '1'])
# UPower counts the computer on battery when its battery discharges, not from the mains alone.
battery = bed.add_device('power_supply', 'BAT0', None,
                         ['type', 'Battery', 'present', '1', 'status', 'Charging',
                          'energy_full', '60000000', 'energy_full_design', '80000000',
                          'energy_now', '48000000', 'voltage_now', '12000000',
                          'power_now', '10000000'], ['POWER_SUPPLY_NAME', 'BAT0'])


def plug(online):
    bed.set_attribute(ac, 'online', online)
    bed.set_property(ac, 'POWER_SUPPLY_ONLINE', online)
    bed.set_attribute(battery, 'status', 'Charging' if online == '1' else 'Discharging')
    bed.uevent(ac, 'change')
    bed.uevent(battery, 'change')
    return True


loop = GLib.MainLoop()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, plug, '0')
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR2, plug, '1')
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
with open(sys.argv[1] + '.part', 'w') as ready:
    ready.write(bed.get_root_dir())
os.rename(sys.argv[1] + '.part', sys.argv[1])
loop.run()
