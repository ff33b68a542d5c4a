// The open-file dialog's stored options (its file-type list and starting folder), as the
// entry point sees them; the three external functions of the file chooser are in
// plugin/handlers.h.
#ifndef TARVEL_FILE_CHOOSER_H
#define TARVEL_FILE_CHOOSER_H

// Init: zero-fills the open-file dialog's file-type list and initial folder.
void ResetFileChooserOptions(void);

#endif
