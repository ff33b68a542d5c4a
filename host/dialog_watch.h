// fmhost's account of what a plug-in shows a person during one message: the dialogs that
// appeared and then closed, the dialog functions that returned without any dialog appearing
// (no display, or no usable graphics driver), and the beeps. A dialog that waits for a person
// for 3 s is announced on standard error, unless every dialog is closed automatically.
//
// Watched: the plug-in's imports of MessageBoxA/W, DialogBoxParamA/W, GetOpenFileNameA/W,
// SHBrowseForFolderA/W and MessageBeep, and every dialog-class window that becomes active on
// the host's thread, except the progress window of a long scan, which waits for nobody.
#ifndef FMHOST_DIALOG_WATCH_H
#define FMHOST_DIALOG_WATCH_H

#include <string>
#include <vector>

namespace fmhost {

struct Sightings {
    std::vector<std::string> closedDialogs;   // captions (UTF-8) of dialogs shown, then closed
    std::vector<std::string> unshownDialogs;  // the functions that returned with no dialog shown
    int beeps;
};

// Hooks the loaded plug-in's imports named above and watches this thread's windows until the
// plug-in is unloaded. announceWaiting: say so when a dialog has waited 3 s for a person.
void StartDialogWatch(bool announceWaiting);
// What was seen since the last reset; reset before each message.
const Sightings &SightingsSinceReset();
void ResetSightings();

}  // namespace fmhost

#endif
