// The records of a folder's listing through a folder handle (GetFileInformationByHandleEx,
// FileIdBothDirectoryInfo, laid out as FILE_ID_BOTH_DIR_INFO), which the plug-in's walk reads:
// for hooks that change what it lists.
#ifndef TARVEL_TEST_LISTING_RECORDS_H
#define TARVEL_TEST_LISTING_RECORDS_H

#include <windows.h>

typedef BOOL(WINAPI *DirectoryQuery)(HANDLE, int, LPVOID, DWORD);

// Offsets of a record's fields.
enum {
    kRecordAttributes = 56,       // DWORD
    kRecordShortNameLength = 68,  // one byte, in bytes
    kRecordFileId = 96            // 64 bits
};

// Calls change for each record of a buffer that the query filled (read: its answer).
inline void ChangeListedRecords(BOOL read, LPVOID buffer, void (*change)(BYTE *record))
{
    for (BYTE *record = (BYTE *)buffer; read;) {
        DWORD next = *(DWORD *)record;  // the offset to the next record, 0 after the last
        change(record);
        if (next == 0)
            break;
        record += next;
    }
}

#endif
