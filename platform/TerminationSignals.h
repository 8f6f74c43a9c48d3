#pragma once
#include <functional>

class QObject;

namespace lumira::platform
{

// Runs `onRequest` on the thread of `context` when the session or service
// manager asks the process to end (SIGTERM, SIGINT, SIGHUP on Unix), so that the
// normal quit path runs instead of an abrupt exit. No-op on Windows, where the
// end-of-session query arrives as a window message.
void installTerminationHandler(QObject *context, std::function<void()> onRequest);

} // namespace lumira::platform
