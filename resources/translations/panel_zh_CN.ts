<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>KAVROWidget</name>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>10</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>100</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>200</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>500</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Accuracy:</source>
        <translation>精度:</translation>
    </message>
    <message>
        <source>Avg.time:</source>
        <translation>平均耗时：</translation>
    </message>
    <message>
        <source>CardType：</source>
        <translation>卡类型：</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>通讯已连接</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>通讯已断开</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>FailedCount:</source>
        <translation>失败次数：</translation>
    </message>
    <message>
        <source>Firmware Ver:</source>
        <translation>固件版本：</translation>
    </message>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Frame:</source>
        <translation>帧号：</translation>
    </message>
    <message>
        <source>Group:</source>
        <translation>组号:</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>输入</translation>
    </message>
    <message>
        <source>Interval Time:</source>
        <translation>间隔时间：</translation>
    </message>
    <message>
        <source>Logic 0 (No Signal/Disconnected)</source>
        <translation>逻辑0(无信号）</translation>
    </message>
    <message>
        <source>Logic 1 (Signal Present/Closed)</source>
        <translation>逻辑1(有信号）</translation>
    </message>
    <message>
        <source>Loop Output</source>
        <translation>循环输出</translation>
    </message>
    <message>
        <source>Multiple:</source>
        <translation>倍数:</translation>
    </message>
    <message>
        <source>NA</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Negative time:</source>
        <translation>Negative时间:</translation>
    </message>
    <message>
        <source>Note: The pulse generator function requires firmware version 11 or higher.</source>
        <translation>注意：脉冲发生器功能需要固件版本在11及以上。</translation>
    </message>
    <message>
        <source>Number of Pulses:</source>
        <translation>脉冲个数:</translation>
    </message>
    <message>
        <source>Operation failed</source>
        <translation>操作失败</translation>
    </message>
    <message>
        <source>Out0 Delayed Output</source>
        <translation>Output 0 延时输出</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>Port number (&gt;=0):</source>
        <translation>端口号(&gt;=0):</translation>
    </message>
    <message>
        <source>Positive Polarity Pulse</source>
        <translation>正极性脉冲</translation>
    </message>
    <message>
        <source>Positive time:</source>
        <translation>Positive时间:</translation>
    </message>
    <message>
        <source>Pulse Generator (up to 32 units)</source>
        <translation>脉冲发生器（最多32个）</translation>
    </message>
    <message>
        <source>Pulse Generator (up to 8)</source>
        <translation>脉冲发生器（最多8个）</translation>
    </message>
    <message>
        <source>Pulse Prelude:</source>
        <translation>脉冲前奏:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>开始</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>The pulse generator on the output port [%1] of the current card is busy. Please wait for it to finish before proceeding!</source>
        <translation>当前卡的输出端口[%1]的脉冲发生器正忙，请等它结束再执行!</translation>
    </message>
    <message>
        <source>Total Count:</source>
        <translation>总次数：</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>ms</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>The value of comno exceeds the maximum number of boards 0&lt;=comno&lt;=15</source>
        <translation>comno 的值超出最大board数 0≤comno≤15</translation>
    </message>
    <message>
        <source>Failed to open board: The port does not exist or is already in use</source>
        <translation>board打开失败:端口不存在或已被占用</translation>
    </message>
    <message>
        <source>The board has not been opened, meaning the iolb_board_open function has not been called.</source>
        <translation>board没有打开,即没有调用iolb_board_open函数。</translation>
    </message>
    <message>
        <source>The secondevery parameter in iolb_set_delayOff() is incorrect.</source>
        <translation>iolb_set_delayOff() 中的secondevery 参数不正确。</translation>
    </message>
    <message>
        <source>The comno has already been used in iolb_board_open().</source>
        <translation>iolb_board_open()中comno已经被使用了。</translation>
    </message>
    <message>
        <source>Failed to create pulse generator</source>
        <translation>脉冲发生器创建失败</translation>
    </message>
    <message>
        <source>Pulse generator not created</source>
        <translation>脉冲发生器未创建</translation>
    </message>
    <message>
        <source>Operation timeout</source>
        <translation>等待操作超时</translation>
    </message>
    <message>
        <source>bitno Error</source>
        <translation>bitno 错误</translation>
    </message>
    <message>
        <source>The number of pulse generators exceeds the maximum limit (8 units).</source>
        <translation>脉冲发生器数量超过最大数量（8个）。</translation>
    </message>
    <message>
        <source>Retrieve the ADC (by calling the function iolb_board_getadc) within the KAV_IO_CALLBACK function.</source>
        <translation>获取ADC（调用函数iolb_board_getadc）在KAV_IO_CALLBACK 函数中。</translation>
    </message>
    <message>
        <source>Not ready</source>
        <translation>未准备好</translation>
    </message>
    <message>
        <source>Write Failure</source>
        <translation>写失败</translation>
    </message>
    <message>
        <source>Read failure</source>
        <translation>读失败</translation>
    </message>
    <message>
        <source>Write Timeout</source>
        <translation>写超时</translation>
    </message>
    <message>
        <source>This feature is not supported.</source>
        <translation>不支持该功能。</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>Error Code(%1):%2</source>
        <translation>错误代码(%1):%2</translation>
    </message>
    <message>
        <source>Error Code(%1)</source>
        <translation>错误代码(%1)</translation>
    </message>
</context>
</TS>
