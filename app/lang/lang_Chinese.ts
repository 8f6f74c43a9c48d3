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
</TS>
