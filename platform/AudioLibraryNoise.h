#pragma once

namespace lumira::platform
{

// Keeps the system's audio libraries from writing their device probing to
// stderr (Linux: ALSA's configuration errors and JACK's "cannot connect"
// lines when no JACK server runs). Their failures still reach Qt Multimedia
// as return codes. Call once before Qt Multimedia lists devices; later calls
// do nothing.
void quietAudioLibraries();

} // namespace lumira::platform
