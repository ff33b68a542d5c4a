// The folder scan's lifecycle: what init and shutdown do to it. The scan's external functions
// are declared in plugin/handlers.h.
#ifndef TARVEL_FOLDER_SCAN_H
#define TARVEL_FOLDER_SCAN_H

// Init: empties the extension filter, so that every file passes; while a scan walks (the host
// called from inside it), when the walk ends.
void ResetExtensionFilter(void);

// Shutdown: destroys the scan's private heap and forgets the list and its position; while a
// scan walks, when the walk ends.
void ShutDownFolderScan(void);

#endif
