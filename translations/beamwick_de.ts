<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
