<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>MainWindow</translation>
    </message>
    <message>
        <source>CardNo</source>
        <translation>CardNo</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>8088</source>
        <translation>8088</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Time Interval(ms)</source>
        <translation>Time Interval(ms)</translation>
    </message>
    <message>
        <source>50</source>
        <translation>50</translation>
    </message>
    <message>
        <source>Cycle Input</source>
        <translation>Cycle Input</translation>
    </message>
    <message>
        <source>GroupNo</source>
        <translation>GroupNo</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>No signal</source>
        <translation>No signal</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Do you want to exit the application (YES) or keep it running in the background (NO)?</source>
        <translation>Do you want to exit the application (YES) or keep it running in the background (NO)?</translation>
    </message>
    <message>
        <source>Application is still running in the background.</source>
        <translation>Application is still running in the background.</translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>This is a software tool designed for simulating KAVRO cards, enabling faster development and testing.</source>
        <translation>This is a software tool designed for simulating KAVRO cards, enabling faster development and testing.</translation>
    </message>
    <message>
        <source>Version 5.0.1</source>
        <translation>Version 5.0.1</translation>
    </message>
</context>
</TS>
