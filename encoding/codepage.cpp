// The locale list, the current code-page table with the byte maps derived from it, and the
// in-place conversions of paths between host codes and Windows codes.
#include "encoding/codepage.h"
#include <limits.h>
#include <string.h>
#include "encoding/codepage_tables.h"
#include "encoding/windows_codepages.h"
#include "plugin/portable.h"

const LocaleEntry kLocaleEntries[] = {
    {"english", "", 0, NULL},
    {"western", kWesternTableText, 1252, kWindows1252UpperHalf},
    {"cyrillic", kCyrillicTableText, 1251, kWindows1251UpperHalf},
    {"czech", kCzechTableText, 1250, kWindows1250UpperHalf},
    {"", "", 0, NULL},
};

// The table in force and what is derived from it: process-wide, all zero until init selects
// "western". Changed only by init, SelectLocale and SetCurrentCodePageTable, so a nested call
// (the host calling the plug-in again from inside a dialog or a scan's message dispatch) can
// change it through Tarv-SetLocale. A call reads it when it converts; one that must stay with
// one table across a dispatch keeps its own copy (the folder scan keeps its list's table).
struct CodePageState {
    char table[kCodePageTableCapacity];  // the table text; empty: no conversion in force
    // The selected locale's code page and the maps built from table whenever it changes;
    // hasTable exactly while table is not empty.
    PathCoding coding;
    PathCoding codePageAlone;  // coding's code page, without a table
};

const PathCoding kAnsiPathCoding = {0, false, {{0}, {0}}};

static CodePageState codePageState;

enum { kFieldSeparator = '|' };

// Reads a field's value by the rule of atoi over its first kCodePageFieldCapacity - 1
// characters: white space skipped, an optional sign, then digits up to the first non-digit;
// no digits read 0. A value beyond the range of int reads as the nearest limit (atoi itself
// leaves that undefined).
static int ReadFieldValue(const char *field, size_t length)
{
    if (length > kCodePageFieldCapacity - 1)
        length = kCodePageFieldCapacity - 1;
    size_t position = 0;
    while (position < length && (field[position] == ' ' ||
                                 (field[position] >= '\t' && field[position] <= '\r')))
        position++;
    bool negative = false;
    if (position < length && (field[position] == '-' || field[position] == '+')) {
        negative = field[position] == '-';
        position++;
    }
    // One past INT_MAX is the magnitude of INT_MIN; larger magnitudes stop growing there.
    const long long limit = (long long)INT_MAX + 1;
    long long magnitude = 0;
    while (position < length && field[position] >= '0' && field[position] <= '9') {
        magnitude = magnitude * 10 + (field[position] - '0');
        if (magnitude > limit)
            magnitude = limit;
        position++;
    }
    if (negative)
        return (int)-magnitude;
    return magnitude > INT_MAX ? INT_MAX : (int)magnitude;
}

// The state of one direction while the rows are read in order.
struct MapBuilder {
    unsigned char *map;
    bool decided[256];  // a row has matched this byte already: later rows do not count
    bool ended;         // the compared column has reached the end of the table
};

// Applies one row to one direction: compared is the row's field that holds this direction's
// source code, other the field that holds its result (otherExists false when the text ended
// before it).
static void ApplyRow(MapBuilder *builder, int compared, int other, bool otherExists)
{
    if (builder->ended)
        return;
    if (compared == kEndOfCodePageTable) {
        builder->ended = true;
        return;
    }
    // Only the signed form of an upper-half code can match a byte.
    if (compared < -128 || compared > -1)
        return;
    unsigned char source = (unsigned char)(compared + 256);
    if (builder->decided[source])
        return;
    builder->decided[source] = true;
    if (otherExists && other != kEndOfCodePageTable)
        builder->map[source] = (unsigned char)other;  // the low 8 bits
}

void BuildCodePageMaps(const char *tableText, size_t capacity, CodePageMaps *maps)
{
    if (maps == NULL)
        return;
    if (tableText == NULL)
        capacity = 0;
    for (int code = 0; code < 256; code++) {
        maps->hostToWindows[code] = (unsigned char)code;
        maps->windowsToHost[code] = (unsigned char)code;
    }
    MapBuilder toWindows = {maps->hostToWindows, {false}, false};
    MapBuilder toHost = {maps->windowsToHost, {false}, false};

    // One pass over the fields; a row is applied once its third field is read or the text
    // ends. A row that lacks its second field matches nothing in either direction.
    int row[3] = {0, 0, 0};
    int fieldsInRow = 0;
    size_t position = 0;
    for (;;) {
        size_t start = position;
        while (position < capacity && tableText[position] != '\0' &&
               tableText[position] != kFieldSeparator)
            position++;
        row[fieldsInRow++] = ReadFieldValue(tableText + start, position - start);
        bool textEnds = position >= capacity || tableText[position] != kFieldSeparator;
        if (fieldsInRow == 3 || textEnds) {
            if (fieldsInRow >= 2)
                ApplyRow(&toWindows, row[1], row[2], fieldsInRow == 3);
            if (fieldsInRow == 3)
                ApplyRow(&toHost, row[2], row[1], true);
            fieldsInRow = 0;
        }
        if (textEnds)
            break;
        position++;  // past the separator
    }
}

void SetCurrentCodePageTable(const char *tableText)
{
    CodePageState *state = &codePageState;
    memset(state->table, 0, sizeof state->table);
    if (tableText != NULL) {
        size_t length = strlen(tableText);
        if (length > sizeof state->table - 1)
            length = sizeof state->table - 1;
        memcpy(state->table, tableText, length);
    }
    BuildCodePageMaps(state->table, sizeof state->table, &state->coding.maps);
    state->coding.hasTable = state->table[0] != '\0';
    state->coding.codePage = 0;
    state->codePageAlone.codePage = 0;
}

bool SelectLocale(const char *name)
{
    SetCurrentCodePageTable(NULL);
    if (name == NULL)
        return false;
    for (const LocaleEntry *entry = kLocaleEntries; entry->name[0] != '\0'; entry++) {
        if (_stricmp(name, entry->name) == 0) {
            SetCurrentCodePageTable(entry->table);
            if (codePageState.coding.hasTable) {
                codePageState.coding.codePage = entry->codePage;
                codePageState.codePageAlone.codePage = entry->codePage;
            }
            return true;
        }
    }
    return false;
}

void SelectDefaultCodePageTable(void)
{
    SelectLocale("western");
}

const PathCoding *CurrentPathCoding(void)
{
    return &codePageState.coding;
}

const PathCoding *CurrentCodePageAlone(void)
{
    return &codePageState.codePageAlone;
}

const CodePageMaps *HostMapsOf(const PathCoding *coding)
{
    return coding->hasTable ? &coding->maps : NULL;
}

bool SamePathCoding(const PathCoding *a, const PathCoding *b)
{
    return a->codePage == b->codePage && a->hasTable == b->hasTable &&
           (!a->hasTable || memcmp(&a->maps, &b->maps, sizeof a->maps) == 0);
}

const CodePageMaps *CurrentCodePageMaps(void)
{
    return HostMapsOf(&codePageState.coding);
}

// Replaces each byte of text, up to its terminator, by its entry in map.
static void ConvertWithMap(char *text, const unsigned char *map)
{
    if (text == NULL || !codePageState.coding.hasTable)
        return;
    unsigned char *bytes = (unsigned char *)text;
    size_t length = strlen(text);
    for (size_t i = 0; i < length; i++)
        bytes[i] = map[bytes[i]];
}

void ConvertHostToWindows(char *text)
{
    ConvertWithMap(text, codePageState.coding.maps.hostToWindows);
}

void ConvertWindowsToHost(char *text)
{
    ConvertWithMap(text, codePageState.coding.maps.windowsToHost);
}
