// OpenFolderListing and NextListedEntry: the walk's folders read through a folder handle
// (GetFileInformationByHandleEx, FileIdBothDirectoryInfo), which gives each entry's name,
// short name, attributes and file index in one buffer; or by FindFirstFileW where Windows
// lacks that call (Windows 2000 and XP), without file indexes.
#include "files/folder_listing.h"

#include <stddef.h>
#include <string.h>

#include "files/scan_progress.h"

// GetFileInformationByHandleEx's class FileIdBothDirectoryInfo, and its records, laid out as
// FILE_ID_BOTH_DIR_INFO: the headers declare them only for Windows Vista and later.
enum { kFileIdBothDirectoryInfo = 10 };
struct DirectoryRecord {
    DWORD nextEntryOffset;  // bytes to the next record; 0 for the buffer's last
    DWORD fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    LARGE_INTEGER endOfFile, allocationSize;
    DWORD fileAttributes;
    DWORD fileNameLength;  // bytes
    DWORD eaSize;
    CCHAR shortNameLength;  // bytes
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};
static_assert(offsetof(DirectoryRecord, fileId) == 96 && offsetof(DirectoryRecord, fileName) == 104,
              "FILE_ID_BOTH_DIR_INFO");
typedef BOOL(WINAPI *DirectoryQuery)(HANDLE, int, LPVOID, DWORD);

// How the walk in progress reads folders. Set at each walk's start; a nested call never
// starts a walk.
struct FolderListingState {
    DirectoryQuery directoryQuery;  // the system's GetFileInformationByHandleEx; NULL: searches
};
static FolderListingState folderListing;

void BeginFolderListings(void)
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    folderListing.directoryQuery =
        kernel != NULL ? (DirectoryQuery)(void (*)(void))GetProcAddress(
                             kernel, "GetFileInformationByHandleEx")
                       : NULL;
}

// The record at offset of the buffer, when it lies inside it whole, its name included; NULL
// otherwise, so that what the system wrote is read only where it fits.
static const DirectoryRecord *RecordAt(const FolderListing *listing, size_t offset)
{
    const size_t header = offsetof(DirectoryRecord, fileName);
    if (offset > sizeof listing->buffer.bytes - header)
        return NULL;
    const DirectoryRecord *record = (const DirectoryRecord *)(listing->buffer.bytes + offset);
    return record->fileNameLength <= sizeof listing->buffer.bytes - header - offset ? record
                                                                                   : NULL;
}

// The offset of the record after record (at offset), or kNoListedRecord after the last.
static size_t NextRecordOffset(size_t offset, const DirectoryRecord *record)
{
    return record->nextEntryOffset != 0 && record->nextEntryOffset <= kListingBufferBytes
               ? offset + record->nextEntryOffset
               : kNoListedRecord;
}

// Reads the next buffer of records; false at the end, on an error, or after a cancel.
static bool ReadRecords(FolderListing *listing)
{
    listing->next = kNoListedRecord;
    if (!ScanProgressTick() ||
        !folderListing.directoryQuery(listing->handle, kFileIdBothDirectoryInfo,
                                      listing->buffer.bytes, sizeof listing->buffer.bytes))
        return false;
    listing->next = 0;
    return true;
}

// FNV-1a, 64 bits, over size bytes, continuing from hash.
static unsigned long long HashBytes(unsigned long long hash, const void *bytes, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        hash ^= ((const BYTE *)bytes)[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

// Takes the folder's own file index (its "." entry) and the fingerprint from the first buffer.
static void NoteFirstRecords(FolderListing *listing)
{
    unsigned long long hash = 14695981039346656037ull;
    const DirectoryRecord *record = NULL;
    for (size_t offset = 0;
         offset != kNoListedRecord && (record = RecordAt(listing, offset)) != NULL;
         offset = NextRecordOffset(offset, record)) {
        hash = HashBytes(hash, &record->fileId, sizeof record->fileId);
        hash = HashBytes(hash, record->fileName, record->fileNameLength);
        if (record->fileNameLength == sizeof(WCHAR) && record->fileName[0] == L'.')
            listing->ownIndex = (ULONGLONG)record->fileId.QuadPart;
    }
    listing->fingerprint = hash | 1;  // never 0, which stands for none
}

bool OpenFolderListing(WCHAR *folder, size_t length, FolderListing *listing)
{
    static const WCHAR kAllEntries[] = L"*.*";
    listing->handle = INVALID_HANDLE_VALUE;
    listing->bySearch = folderListing.directoryQuery == NULL;
    listing->searchPending = false;
    listing->next = kNoListedRecord;
    listing->ownIndex = 0;
    listing->fingerprint = 0;
    if (!ScanProgressTick())
        return false;
    if (listing->bySearch) {
        memcpy(folder + length, kAllEntries, sizeof kAllEntries);
        listing->handle = FindFirstFileW(folder, (WIN32_FIND_DATAW *)listing->buffer.bytes);
        folder[length] = 0;
        listing->searchPending = listing->handle != INVALID_HANDLE_VALUE;
        return listing->searchPending;
    }
    listing->handle = CreateFileW(folder, FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (listing->handle == INVALID_HANDLE_VALUE)
        return false;
    if (!ReadRecords(listing)) {
        CloseFolderListing(listing);
        return false;
    }
    NoteFirstRecords(listing);
    return true;
}

// Copies count units of text into out (capacity units), terminated; false when they do not
// fit whole.
static bool CopyName(const WCHAR *text, size_t count, WCHAR *out, size_t capacity)
{
    if (count > capacity - 1)
        return false;
    memcpy(out, text, count * sizeof(WCHAR));
    out[count] = 0;
    return true;
}

bool NextListedEntry(FolderListing *listing, WIN32_FIND_DATAW *entry)
{
    if (listing->bySearch) {
        if (listing->searchPending) {
            listing->searchPending = false;
            memcpy(entry, listing->buffer.bytes, sizeof *entry);
            return true;
        }
        return ScanProgressTick() && FindNextFileW(listing->handle, entry);
    }
    for (;;) {
        if (listing->next == kNoListedRecord && !ReadRecords(listing))
            return false;
        const DirectoryRecord *record = RecordAt(listing, listing->next);
        if (record == NULL) {
            listing->next = kNoListedRecord;
            continue;
        }
        listing->next = NextRecordOffset(listing->next, record);
        // No name of a Windows folder is longer; one cut to fit would be another name.
        if (CopyName(record->fileName, record->fileNameLength / sizeof(WCHAR), entry->cFileName,
                     MAX_PATH) &&
            CopyName(record->shortName, (size_t)(BYTE)record->shortNameLength / sizeof(WCHAR),
                     entry->cAlternateFileName, 14)) {
            entry->dwFileAttributes = record->fileAttributes;
            return true;
        }
    }
}

void CloseFolderListing(FolderListing *listing)
{
    if (listing->handle == INVALID_HANDLE_VALUE)
        return;
    ScanProgressTick();
    if (listing->bySearch)
        FindClose(listing->handle);
    else
        CloseHandle(listing->handle);
    listing->handle = INVALID_HANDLE_VALUE;
}
