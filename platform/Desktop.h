#pragma once
#include <QString>

namespace lumira::platform
{

// Windows scales non-aware processes by bitmap stretching; elsewhere a no-op.
void setProcessDpiAware();

// Called by a second start: brings the windows of the running instance forward
// (the main window "Lumira", then "lumira_video" and "lumira_eye" top-most).
// On Windows the windows are found by title; elsewhere the running instance is
// asked over its local channel `channelName` to raise its own windows.
void bringRunningInstanceForward(const QString &channelName);

// The message the running instance receives on its channel.
inline constexpr char kRaiseMessage[] = "raise\n";

} // namespace lumira::platform
