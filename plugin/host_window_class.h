// The class-name test of the host's main window, apart from the window search so that the
// native tests run it.
#ifndef TARVEL_HOST_WINDOW_CLASS_H
#define TARVEL_HOST_WINDOW_CLASS_H

// True when a window class name is the host's: "fmpro" in any case, then a decimal digit.
// NULL is no class name.
bool IsHostWindowClassName(const char *className);

#endif
