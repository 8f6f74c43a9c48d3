#pragma once

namespace lumira::platform
{

// Keeps the system's audio libraries from writing their device probing to
// stderr (Linux: ALSA's configuration errors and JACK's "cannot connect"
// lines when no JACK server runs). Their failures still reach Qt Multimedia
// as return codes. Call once before Qt Multimedia lists devices; later calls
// do nothing.
void quietAudioLibraries();
// The part of it that writes the environment (JACK must not start a server of
// its own). quietAudioLibraries() calls it; call it first yourself where
// quietAudioLibraries() is to run on a thread beside others that read the
// environment.
void setAudioLibraryEnvironment();

} // namespace lumira::platform
