// The existence test shared by the file chooser, file opening and the folder scan.
#ifndef TARVEL_PATH_EXISTS_H
#define TARVEL_PATH_EXISTS_H

// True when a file or a folder of that name exists: GetFileAttributesA gives anything but
// INVALID_FILE_ATTRIBUTES. No attribute is looked at. path is zero-terminated, in Windows
// codes; an empty path does not exist.
bool PathExists(const char *path);

#endif
