#include "platform/TerminationSignals.h"

namespace lumira::platform
{

void installTerminationHandler(QObject *, std::function<void()>) { }

} // namespace lumira::platform
