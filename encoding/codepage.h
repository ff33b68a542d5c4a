// Code-page conversion of paths between the host's Macintosh character codes (host codes)
// and the Windows code page (Windows codes): the built-in tables and the locale list, the
// table in force, and the two in-place conversions that the path-handling functions apply.
//
// A table is a text of '|'-separated signed decimal fields, three to a row: the Windows code
// (not consulted), the host code, the Windows code; an upper-half code is written as the code
// minus 256 ("-40" for 0xD8). Rows are tried in order and the first row whose compared field
// matches decides; a code without a row passes unchanged. The text stays the definition of
// the conversion; the conversions themselves go through two byte maps derived from it each
// time the current table changes.
//
// The table in force is process-wide. A nested call (the host calling the plug-in again from
// inside a dialog or a scan's message dispatch) can change it through Tarv-SetLocale, so a
// call that must stay with one table across a dispatch keeps its own copy of the maps.
#ifndef TARVEL_CODEPAGE_H
#define TARVEL_CODEPAGE_H

#include <stddef.h>
#include <stdint.h>

enum {
    kCodePageTableCapacity = 4096,  // bytes of the current table, terminator included
    kCodePageFieldCapacity = 100,   // bytes a field is read through, terminator included
    kEndOfCodePageTable = -1000     // value of a field past the end of the table text
};

// One built-in locale: its name (compared without regard to case), its table text, the
// Windows code page whose codes the table converts to, and that code page's upper half (codes
// 0x80 to 0xFF) as UTF-16, in which the plug-in reads and writes those codes itself (0 and
// NULL for the empty table: texts then stay in the system's ANSI code page). The only list of
// the code pages the plug-in reads without the system's help.
struct LocaleEntry {
    const char *name;
    const char *table;
    unsigned codePage;
    const uint16_t *upperHalf;
};

// "english" (the empty table), "western", "cyrillic", "czech", then an entry whose name is
// the empty text.
extern const LocaleEntry kLocaleEntries[];

// The converted byte of every byte, one map per direction. Bytes below 0x80 map to themselves.
struct CodePageMaps {
    unsigned char hostToWindows[256];
    unsigned char windowsToHost[256];
};

// Builds both maps from a table text with the results of reading the text row by row:
// host to Windows compares each row's second field and takes the low 8 bits of its third,
// Windows to host the other way round. A field is read by the rule of atoi through
// kCodePageFieldCapacity - 1 characters (a longer field is cut there); values beyond the
// range of int read as the nearest limit. A compared field that reads kEndOfCodePageTable ends
// the table for that direction; a matching row whose other field is missing or reads
// kEndOfCodePageTable leaves the byte unchanged.
// tableText is read up to its terminator or capacity bytes, whichever comes first, so it
// need not be terminated; a NULL tableText reads as the empty table. Cannot fail (a NULL maps
// is ignored).
void BuildCodePageMaps(const char *tableText, size_t capacity, CodePageMaps *maps);

// Makes tableText (zero-terminated; cut at kCodePageTableCapacity - 1 characters) the
// current table and rebuilds the current maps from it. NULL or "" means no conversion. The
// current Windows code page becomes 0.
void SetCurrentCodePageTable(const char *tableText);

// Empties the current table, then makes current the table of the first entry of
// kLocaleEntries whose name equals name without regard to case (letters A to Z only; nothing
// trimmed), with its Windows code page. Returns false, leaving no conversion in force, when no
// name matches or name is NULL.
bool SelectLocale(const char *name);

// Init: makes the "western" table current, as SelectLocale("western") does.
void SelectDefaultCodePageTable(void);

// What a path's codes mean: the Windows code page they are in, and the host table whose maps
// carry them between the host's codes and these, if any.
struct PathCoding {
    unsigned codePage;  // a locale's of kLocaleEntries; 0: the system's ANSI code page
    bool hasTable;      // maps are a table's; false: the codes never go to the host
    CodePageMaps maps;
};

// The coding of the system's ANSI code page, without a table: texts passed on unconverted.
extern const PathCoding kAnsiPathCoding;

// The coding in force: the Windows code page of the locale selected last (its entry's in
// kLocaleEntries; 0, the system's ANSI code page, when no table is in force, and after
// SetCurrentCodePageTable, which selects a table by its text alone) and the current table.
// Changes with every selection: a call that must stay with one copies it.
const PathCoding *CurrentPathCoding(void);

// That code page alone, without the table: for paths that go to Windows but never back.
const PathCoding *CurrentCodePageAlone(void);

// The maps of coding's table, or NULL when it has none.
const CodePageMaps *HostMapsOf(const PathCoding *coding);

// True when a and b give every code the same meaning.
bool SamePathCoding(const PathCoding *a, const PathCoding *b);

// The maps of the current table, or NULL when no conversion is in force.
const CodePageMaps *CurrentCodePageMaps(void);

// Convert a zero-terminated text in place with the current table, up to its terminator; the
// length never changes and bytes below 0x80 are never touched. With the empty table, or a
// NULL text, nothing changes. No allocation.
void ConvertHostToWindows(char *text);
void ConvertWindowsToHost(char *text);

#endif
