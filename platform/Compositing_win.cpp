#include "platform/Compositing.h"

namespace lumira::platform
{

bool compositingAvailable() { return true; }

} // namespace lumira::platform
