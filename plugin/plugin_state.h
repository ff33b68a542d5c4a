// The entry point's share of the process-wide plug-in state: the record of the call in
// progress, the module instance and the version text. Each subsystem keeps its own settings
// beside its code (files/, clipboard/, encoding/).
//
// A nested call (the host calling the plug-in again from inside a dialog or a scan's
// dispatch) changes callRecord for its own duration, and the entry point puts the interrupted
// call's record back when it returns; a nested init sets moduleInstance and versionText
// again, to the same values for the same module.
#ifndef TARVEL_PLUGIN_STATE_H
#define TARVEL_PLUGIN_STATE_H

#include "plugin/host_record.h"

enum { kVersionTextCapacity = 255 };

struct PluginState {
    ExternCallRecord *callRecord;   // record of the innermost call in progress; NULL between calls
    void *moduleInstance;           // this module, from the init record; its resources load from it
    char versionText[kVersionTextCapacity];  // file version "a.b.c.d", built at init
};

extern PluginState pluginState;

#endif
