// Runtime-library names that differ between the Windows build and the native Linux build.
// The plug-in's pure workers use these so that the native tests and fuzzers run the same code.
#ifndef TARVEL_PORTABLE_H
#define TARVEL_PORTABLE_H

#ifdef _WIN32
#include <string.h>
#else
#include <strings.h>
#define _stricmp strcasecmp
#define _strnicmp strncasecmp
#endif

#endif
