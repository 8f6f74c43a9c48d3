#pragma once

namespace lumira
{

// The whole life of the process: start-up in its fixed order, the event loop,
// teardown. Returns the process exit code.
int runApplication(int argc, char **argv);

// Registers the resources compiled into the core library; static linking drops
// their automatic registration.
void initResources();

} // namespace lumira
