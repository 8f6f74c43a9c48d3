#pragma once

class QQuickView;

namespace lumira
{

// The whole life of the process: start-up in its fixed order, the event loop,
// teardown. Returns the process exit code.
int runApplication(int argc, char **argv);

// Gives the main view its window shape and names: the flags
// Dialog | MSWindowsFixedSizeDialogHint | FramelessWindowHint |
// WindowMinimizeButtonHint | WindowCloseButtonHint (0x8004903), a transparent
// clear colour, the title "Lumira" (what a second instance looks for) and the
// object name "root" (what the lock-screen focus filter lets through).
void shapeMainView(QQuickView &view);

// Registers the resources compiled into the core library; static linking drops
// their automatic registration.
void initResources();

} // namespace lumira
