#include "platform/Desktop.h"

#include <QLocalSocket>

namespace lumira::platform
{

void setProcessDpiAware() { }

void bringRunningInstanceForward(const QString &channelName)
{
    QLocalSocket socket;
    socket.connectToServer(channelName);
    if (!socket.waitForConnected(1000))
        return;
    socket.write(kRaiseMessage);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
}

} // namespace lumira::platform
