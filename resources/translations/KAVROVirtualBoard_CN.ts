<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>MainWindow</source>
        <translation>KAVROVirtualBoard</translation>
    </message>
    <message>
        <source>CardNo</source>
        <translation>卡号</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>8088</source>
        <translation>8088</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Time Interval(ms)</source>
        <translation>间隔时间（ms)</translation>
    </message>
    <message>
        <source>50</source>
        <translation>50</translation>
    </message>
    <message>
        <source>Cycle Input</source>
        <translation>循环输入</translation>
    </message>
    <message>
        <source>GroupNo</source>
        <translation>组号</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>输入</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>No signal</source>
        <translation>无信号</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>有信号</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英文</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Do you want to exit the application (YES) or keep it running in the background (NO)?</source>
        <translation>您是想退出应用程序（是），还是让它在后台运行（否）？</translation>
    </message>
    <message>
        <source>Application is still running in the background.</source>
        <translation>应用程序仍在后台运行。</translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>This is a software tool designed for simulating KAVRO cards, enabling faster development and testing.</source>
        <translation>这是一款用于模拟KAVRO卡的工具软件。通过它可以更加快速的开发和测试。</translation>
    </message>
    <message>
        <source>Version 5.0.1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
