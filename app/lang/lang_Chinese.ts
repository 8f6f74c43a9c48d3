<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>AboutView</name>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>BCMacReviewAccessButton</name>
    <message>
        <source>Authorized</source>
        <translation>已授权</translation>
    </message>
    <message>
        <source>Go to authorize</source>
        <translation>去授权</translation>
    </message>
</context>
<context>
    <name>BCMacReviewAccessStatus</name>
    <message>
        <source>Authorized</source>
        <translation>已授权</translation>
    </message>
    <message>
        <source>Unauthorized</source>
        <translation>未授权</translation>
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
    <name>LMRAudioPlayerView</name>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
</context>
<context>
    <name>LMRMacReviewAccess</name>
    <message>
        <source>Please allow access</source>
        <translation>请允许访问</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>摄像头</translation>
    </message>
    <message>
        <source>Microphone</source>
        <translation>麦克风</translation>
    </message>
    <message>
        <source>Screen recording</source>
        <translation>屏幕录制</translation>
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
    <name>LMRSettingMenu</name>
    <message>
        <source>Device Test</source>
        <translation>设备检测</translation>
    </message>
    <message>
        <source>Advanced Setting</source>
        <translation>高级设置</translation>
    </message>
    <message>
        <source>Clear Browser</source>
        <translation>清除浏览器缓存</translation>
    </message>
    <message>
        <source>HD Access</source>
        <translation>高清接入</translation>
    </message>
    <message>
        <source>Course Proxy</source>
        <translation>课件代理</translation>
    </message>
    <message>
        <source>Mic Volumn Up</source>
        <translation>麦克风增强</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
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
    <message>
        <source>Please restart the client!</source>
        <translation>请重新启动客户端！</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>网络</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>音频</translation>
    </message>
    <message>
        <source>Device Test</source>
        <translation>设备检测</translation>
    </message>
    <message>
        <source>Courseware audio</source>
        <translation>课件音频</translation>
    </message>
    <message>
        <source>Hide video</source>
        <translation>隐藏视频</translation>
    </message>
    <message>
        <source>Show video</source>
        <translation>显示视频</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Please select a media file!</source>
        <translation>请选择一个媒体文件！</translation>
    </message>
    <message>
        <source>Your account has been logged in a different place! the classroom will be launched soon!</source>
        <translation>您的账号已在其他地方登录！即将退出教室！</translation>
    </message>
</context>
<context>
    <name>MyTestCodeView</name>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>SettingView</name>
    <message>
        <source>Advanced Setting</source>
        <translation>高级设置</translation>
    </message>
    <message>
        <source>Display settings</source>
        <translation>显示设置</translation>
    </message>
    <message>
        <source>Set what is displayed</source>
        <translation>设置显示内容</translation>
    </message>
    <message>
        <source>Video beauty</source>
        <translation>视频美颜</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>开启</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Eye protection mode</source>
        <translation>护眼模式</translation>
    </message>
    <message>
        <source>Hardware Acceleration</source>
        <translation>硬件加速</translation>
    </message>
    <message>
        <source>Render Engine</source>
        <translation>渲染引擎</translation>
    </message>
    <message>
        <source>OpenGL</source>
        <translation>OpenGL</translation>
    </message>
    <message>
        <source>DirectX</source>
        <translation>DirectX</translation>
    </message>
    <message>
        <source>Software</source>
        <translation>软件渲染</translation>
    </message>
    <message>
        <source>SSL</source>
        <translation>SSL</translation>
    </message>
    <message>
        <source>Pen</source>
        <translation>手写板</translation>
    </message>
    <message>
        <source>Recording storage directory</source>
        <translation>录音存储目录</translation>
    </message>
    <message>
        <source>Save the recording file in this folder by default</source>
        <translation>默认将录音文件保存在此文件夹</translation>
    </message>
    <message>
        <source>Change directory</source>
        <translation>更改目录</translation>
    </message>
    <message>
        <source>This folder cannot be used, please choose another one!</source>
        <translation>此文件夹无法使用，请选择其他文件夹！</translation>
    </message>
    <message>
        <source>The new folder is used after a restart. Restart the client now?</source>
        <translation>新的文件夹将在重启客户端后使用，现在重启吗？</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>稍后</translation>
    </message>
    <message>
        <source>Restart now</source>
        <translation>立即重启</translation>
    </message>
</context>
<context>
    <name>main</name>
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
    <name>uploadProgressDialog</name>
    <message>
        <source>total %1,now %2</source>
        <translation>共%1个，正在上传第%2个</translation>
    </message>
</context>
<context>
    <name>LMRTestDevice</name>
    <message>
        <source>Device Test</source>
        <translation>设备检测</translation>
    </message>
    <message>
        <source>Test Speaker</source>
        <translation>扬声器检测</translation>
    </message>
    <message>
        <source>Micphone Test</source>
        <translation>麦克风检测</translation>
    </message>
    <message>
        <source>Camera Test</source>
        <translation>摄像头检测</translation>
    </message>
    <message>
        <source>Test Result</source>
        <translation>检测结果</translation>
    </message>
</context>
<context>
    <name>LMRTestDeviceSpeaker</name>
    <message>
        <source>Speaker</source>
        <translation>扬声器</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Can hear</source>
        <translation>能听到</translation>
    </message>
    <message>
        <source>Can&apos;t hear</source>
        <translation>听不到</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
</context>
<context>
    <name>LMRTestDeviceMic</name>
    <message>
        <source>Microphone</source>
        <translation>麦克风</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>start record</source>
        <translation>开始录音</translation>
    </message>
    <message>
        <source>stop record</source>
        <translation>停止录音</translation>
    </message>
    <message>
        <source>Please click the “start recording” button, speak into the microphone, and check the volume bar to see if there is any fluctuation.</source>
        <translation>请点击“开始录音”按钮，对着麦克风说话，观察音量条是否有波动。</translation>
    </message>
    <message>
        <source>The volume fluctuates</source>
        <translation>音量有波动</translation>
    </message>
    <message>
        <source>No fluctuation in volume</source>
        <translation>音量无波动</translation>
    </message>
    <message>
        <source>If you cannot see the fluctuation of the red volume bar during the test, please check the problem in the following ways:</source>
        <translation>如果测试时您看不到红色音量条波动，请按以下方式排查问题：</translation>
    </message>
    <message>
        <source>1. Confirm that the device is connected normally and the headphone jack is inserted correctly;</source>
        <translation>1、确认设备正常连接，耳机孔插入正确；</translation>
    </message>
    <message>
        <source>2. Confirm that the microphone is connected and turned on and the volume has been adjusted to the maximum;</source>
        <translation>2、确认麦克风连接并开启且音量已调整到最大；</translation>
    </message>
    <message>
        <source>3. Try to switch equipment or replace microphone socket;</source>
        <translation>3、尝试切换设备或更换麦克风插口；</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
</context>
<context>
    <name>LMRTestDeviceCamera</name>
    <message>
        <source>Camera</source>
        <translation>摄像头</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>No camera found</source>
        <translation>未检测到摄像头</translation>
    </message>
    <message>
        <source>Can see</source>
        <translation>能看到</translation>
    </message>
    <message>
        <source>Can&apos;t see</source>
        <translation>看不到</translation>
    </message>
    <message>
        <source>The video appears the flower screen, does not display, may be the USB contact bad or the camera shooting effect is low!</source>
        <translation>视频出现花屏、不显示，可能是USB接触不良或摄像头拍摄效果差！</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
</context>
</TS>