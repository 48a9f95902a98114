<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>GQTranslatorManager</name>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英语</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>KAVROApp</source>
        <translation>KAVROApp</translation>
    </message>
    <message>
        <source>Welcome to KAVRO</source>
        <translation>欢迎使用KAVRO</translation>
    </message>
    <message>
        <source>IP Addr</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Serial Port</source>
        <translation>串口</translation>
    </message>
    <message>
        <source>PCIE Port</source>
        <translation>PCIE号</translation>
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
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Cancelling operation...</source>
        <translation>取消中...</translation>
    </message>
    <message>
        <source>Searching for IP...</source>
        <translation>搜索IP地址中...</translation>
    </message>
    <message>
        <source>Searching for serial ports...</source>
        <translation>搜索串口中...</translation>
    </message>
    <message>
        <source>Searching for KAVRO...</source>
        <translation>搜索KAVRO中...</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Failed to open</source>
        <translation>打开失败</translation>
    </message>
    <message>
        <source>The IP address cannot be empty.</source>
        <translation>IP地址不能为空。</translation>
    </message>
    <message>
        <source>The Port cannot be empty.</source>
        <translation>端口不能为空。</translation>
    </message>
    <message>
        <source>Card number not selected. Please select a card number first.</source>
        <translation>未选择卡号，请先选择卡号。</translation>
    </message>
    <message>
        <source>KAVRO card not found!</source>
        <translation>没找到KAVRO卡!</translation>
    </message>
    <message>
        <source>The board number of the KAVRO card has been found:
&#xd;</source>
        <translation>已经找到KAVRO卡的板号是:
</translation>
    </message>
</context>
</TS>
