// The entry point's share of the process-wide plug-in state (see plugin_state.h). A nested
// message sets callRecord for its time and gives the interrupted call its record back; a
// nested init builds the module instance and the version text again, to the same values.
#include "plugin/plugin_state.h"

PluginState pluginState;
