<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>main</name>
    <message>
        <source>lumira app startup failure!</source>
        <translation>客户端启动失败！</translation>
    </message>
    <message>
        <source>lumira app already running!</source>
        <translation>客户端已经在运行了！</translation>
    </message>
    <message>
        <source>The available memory of your current device is too low, it is recommended to close other software to avoid affecting the class experience!</source>
        <translation>当前设备可用内存过低，建议关闭其他软件，以免影响上课体验！</translation>
    </message>
    <message>
        <source>Initialization failed and auto fixed
Please restart the client!</source>
        <translation>初始化失败，已自动修复
请重新启动客户端！</translation>
    </message>
    <message>
        <source>lumira app startup failure!</source>
        <translation>客户端启动失败！</translation>
    </message>
</context>
<context>
    <name>LMRMessageBox</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>quit</source>
        <translation>退出</translation>
    </message>
</context>
<context>
    <name>uploadProgressDialog</name>
    <message>
        <source>total %1,now %2</source>
        <translation>共%1个，正在上传第%2个</translation>
    </message>
</context>
<context>
    <name>LMRWindow</name>
    <message>
        <source>Are you sure you want to exit the client?</source>
        <translation>确定要退出客户端吗？</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>GoTo</source>
        <translation>前往</translation>
    </message>
    <message>
        <source>Please exit the classroom and perform equipment testing!</source>
        <translation>请退出教室后再进行设备检测！</translation>
    </message>
    <message>
        <source>The system has detected that you still have courses in progress
 wse suggest that you finish the current course first!</source>
        <translation>系统检测到您还有正在进行的课程
建议您先完成当前课程！</translation>
    </message>
</context>
<context>
    <name>BCMsgBox</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>LMRWebView</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>GoTo</source>
        <translation>前往</translation>
    </message>
    <message>
        <source>The system has detected that you still have courses in progress
 we suggest that you finish the current course first!</source>
        <translation>系统检测到您还有正在进行的课程
建议您先完成当前课程！</translation>
    </message>
    <message>
        <source>No microphone and  was speaker detected, please check whether the device is properly plugged in,  and then click the pinion in the upper right corner to test the device!</source>
        <translation>未检测到麦克风和扬声器，请检查设备是否正确插好，然后点击右上角的齿轮检测设备！</translation>
    </message>
    <message>
        <source>No microphone was detected, please check whether the device is properly plugged in,  and then click the pinion in the upper right corner to test the device!</source>
        <translation>未检测到麦克风，请检查设备是否正确插好，然后点击右上角的齿轮检测设备！</translation>
    </message>
    <message>
        <source>No speaker was detected, please check whether the device is properly plugged in,  and then click the pinion in the upper right corner to test the device!</source>
        <translation>未检测到扬声器，请检查设备是否正确插好，然后点击右上角的齿轮检测设备！</translation>
    </message>
</context>
</TS>
