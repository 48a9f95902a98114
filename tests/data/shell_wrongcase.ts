<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Open</source>
        <translation>OPEN-WRONG-CASE</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>SEARCH-WRONG-CASE</translation>
    </message>
</context>
</TS>
