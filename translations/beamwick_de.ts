<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>DarkBlock</name>
    <message>
        <source>Dark now: the lid is closed</source>
        <translation>Jetzt dunkel: Der Deckel ist geschlossen</translation>
    </message>
    <message>
        <source>Dark now: the session is locked</source>
        <translation>Jetzt dunkel: Die Sitzung ist gesperrt</translation>
    </message>
    <message>
        <source>Dark now: on battery power</source>
        <translation>Jetzt dunkel: Akkubetrieb</translation>
    </message>
    <message>
        <source>Dark while locked</source>
        <translation>Dunkel, solange gesperrt</translation>
    </message>
    <message>
        <source>Dark on battery</source>
        <translation>Dunkel im Akkubetrieb</translation>
    </message>
    <message>
        <source>Why the light is dark</source>
        <translation>Warum das Licht dunkel ist</translation>
    </message>
</context>
<context>
    <name>MenuView</name>
    <message>
        <source>Beamwick</source>
        <translation>Beamwick</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Modus</translation>
    </message>
    <message>
        <source>Light delay</source>
        <translation>Lichtverzögerung</translation>
    </message>
    <message>
        <source>No output heard yet</source>
        <translation>Noch keine Ausgabe gehört</translation>
    </message>
    <message>
        <source>%1 — reports %2 ms</source>
        <translation>%1 — meldet %2 ms</translation>
    </message>
    <message>
        <source>Remove old password-free rule (no longer needed)</source>
        <translation>Alte Regel ohne Passwort entfernen (nicht mehr nötig)</translation>
    </message>
    <message>
        <source>Quitting restores the factory default</source>
        <translation>Beenden stellt den Werkszustand wieder her</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
</TS>
