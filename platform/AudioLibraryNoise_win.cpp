// The Windows audio stack prints nothing of its own; nothing to silence.
#include "platform/AudioLibraryNoise.h"

namespace lumira::platform
{

void quietAudioLibraries() { }

} // namespace lumira::platform
