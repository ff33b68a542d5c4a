// Code-page tables and conversions: the built-in table texts against the standard code pages
// (through glibc's iconv), the byte maps against the text walk of codepage_reference.h, the
// choice of locale by name, and the reading of malformed table texts.
#include <gtest/gtest.h>
#include <iconv.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>
#include "encoding/codepage.h"
#include "tests/native/codepage_reference.h"

namespace {

struct BuiltInTable {
    const char *locale;
    const char *windowsCodeset;  // glibc iconv names of the two character sets
    const char *hostCodeset;
    int rows;
    size_t length;
    const char *firstRow;
};

const BuiltInTable kBuiltInTables[] = {
    {"western", "CP1252", "MACINTOSH", 108, 1345, "-1|-40|-1|"},
    {"cyrillic", "CP1251", "MAC-CYRILLIC", 35, 446, "-64|-128|-64|"},
    {"czech", "CP1250", "MAC-CENTRALEUROPE", 30, 367, "-20|-98|-20|"},
};

const char *const kAllLocales[] = {"english", "western", "cyrillic", "czech"};

// The table text of a locale, straight from the locale list.
std::string TableOf(const char *locale)
{
    for (const LocaleEntry *entry = kLocaleEntries; entry->name[0] != '\0'; entry++) {
        if (strcmp(entry->name, locale) == 0)
            return entry->table;
    }
    ADD_FAILURE() << "no locale " << locale;
    return std::string();
}

struct Row {
    int first, host, windows;  // the three fields as read
};

// The rows of a table text, read with the reference field reader.
std::vector<Row> RowsOf(const std::string &table)
{
    std::vector<Row> rows;
    for (int k = 0; ReferenceReadField(table.c_str(), k, 3) != kReferenceEndOfTable; k++)
        rows.push_back({ReferenceReadField(table.c_str(), k, 1), ReferenceReadField(table.c_str(), k, 2),
                        ReferenceReadField(table.c_str(), k, 3)});
    return rows;
}

// Unicode code point of every byte in an iconv character set; -1 where it has no character.
std::vector<long> CodePointsOf(const char *codeset)
{
    std::vector<long> points(256, -1);
    iconv_t converter = iconv_open("UTF-32LE", codeset);
    if (converter == (iconv_t)-1) {
        ADD_FAILURE() << "iconv cannot convert from " << codeset;
        return points;
    }
    for (int code = 1; code < 256; code++) {
        char in = (char)code;
        uint32_t out = 0;
        char *inPosition = &in;
        char *outPosition = (char *)&out;
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(converter, NULL, NULL, NULL, NULL);
        if (iconv(converter, &inPosition, &inLeft, &outPosition, &outLeft) != (size_t)-1 &&
            outLeft == 0)
            points[code] = (long)out;
    }
    iconv_close(converter);
    return points;
}

// Byte of a code point in the upper half of a character set, or -1.
int UpperCodeOf(const std::vector<long> &points, long point)
{
    for (int code = 0x80; code < 256; code++) {
        if (points[code] == point)
            return code;
    }
    return -1;
}

// Both maps of the table text, read through the conversion of a one-byte text.
CodePageMaps MapsThroughConversion(const char *locale)
{
    EXPECT_TRUE(SelectLocale(locale));
    CodePageMaps maps;
    maps.hostToWindows[0] = maps.windowsToHost[0] = 0;
    for (int code = 1; code < 256; code++) {
        char text[2] = {(char)code, '\0'};
        ConvertHostToWindows(text);
        maps.hostToWindows[code] = (unsigned char)text[0];
        text[0] = (char)code;
        ConvertWindowsToHost(text);
        maps.windowsToHost[code] = (unsigned char)text[0];
    }
    return maps;
}

// Fails for every byte whose map entry differs from the text walk over table.
void ExpectMapsMatchTextWalk(const std::string &table, const CodePageMaps &maps)
{
    for (int code = 0; code < 256; code++) {
        EXPECT_EQ(ReferenceConvertByte(table.c_str(), (unsigned char)code, true), maps.hostToWindows[code])
            << "host to Windows, byte " << code << ", table \"" << table.substr(0, 60) << "\"";
        EXPECT_EQ(ReferenceConvertByte(table.c_str(), (unsigned char)code, false), maps.windowsToHost[code])
            << "Windows to host, byte " << code << ", table \"" << table.substr(0, 60) << "\"";
    }
}

CodePageMaps MapsOf(const std::string &table)
{
    CodePageMaps maps;
    BuildCodePageMaps(table.c_str(), table.size() + 1, &maps);
    return maps;
}

// Fails unless the table in force converts exactly as table does; an empty table: no
// conversion in force.
void ExpectTableInForce(const std::string &table)
{
    const CodePageMaps *inForce = CurrentCodePageMaps();
    if (table.empty()) {
        EXPECT_TRUE(inForce == NULL);
        return;
    }
    ASSERT_TRUE(inForce != NULL);
    CodePageMaps expected = MapsOf(table);
    EXPECT_EQ(0, memcmp(&expected, inForce, sizeof expected));
}

}  // namespace

// Each built-in table has the stated rows, length and first row; every field is an upper-half
// code in signed form, the first field repeats the third, and no code occurs twice in a column
// (so that the row order cannot matter). Guards against a generator or an edit that broke the text.
TEST(BuiltInTables, HaveTheirRowsLengthsAndWellFormedFields)
{
    EXPECT_STREQ("", TableOf("english").c_str());
    for (const BuiltInTable &table : kBuiltInTables) {
        SCOPED_TRACE(table.locale);
        std::string text = TableOf(table.locale);
        EXPECT_EQ(table.length, text.size());
        EXPECT_EQ(0u, text.find(table.firstRow));
        EXPECT_EQ(std::string::npos, text.find_first_not_of("-0123456789|"));
        EXPECT_NE('|', text.back());
        std::vector<Row> rows = RowsOf(text);
        EXPECT_EQ((size_t)table.rows, rows.size());
        EXPECT_EQ((size_t)(3 * table.rows - 1), (size_t)std::count(text.begin(), text.end(), '|'));
        std::set<int> hosts, windows;
        for (const Row &row : rows) {
            EXPECT_EQ(row.first, row.windows);
            EXPECT_TRUE(row.host >= -128 && row.host <= -1) << row.host;
            EXPECT_TRUE(row.windows >= -128 && row.windows <= -1) << row.windows;
            EXPECT_NE(row.host, row.windows) << "a row that changes nothing";
            EXPECT_TRUE(hosts.insert(row.host).second) << "host code twice: " << row.host;
            EXPECT_TRUE(windows.insert(row.windows).second) << "Windows code twice: " << row.windows;
        }
    }
}

// The rows of each table are exactly the characters that the two standard character sets hold
// at different codes (western: all of them but three, plus its thirteen pairings; cyrillic
// and czech: the named letters), each row pairing the codes of one character. Guards against
// a wrong codec, a missing or extra row, and swapped columns.
TEST(BuiltInTables, RowsAreTheCharactersThatTheStandardCodePagesPlaceDifferently)
{
    std::vector<long> russian;  // А..Я, Ё, а..я, ё
    for (long point = 0x410; point < 0x450; point++)
        russian.push_back(point);
    russian.push_back(0x401);
    russian.push_back(0x451);
    const long czech[] = {0xE1, 0x10D, 0x10F, 0xE9, 0x11B, 0xED, 0x148, 0xF3, 0x159, 0x161,
                          0x165, 0xFA, 0x16F, 0xFD, 0x17E,  // á č ď é ě í ň ó ř š ť ú ů ý ž
                          0xC1, 0x10C, 0x10E, 0xC9, 0x11A, 0xCD, 0x147, 0xD3, 0x158, 0x160,
                          0x164, 0xDA, 0x16E, 0xDD, 0x17D};
    const std::set<std::pair<int, int>> westernPairs = {  // (host, Windows)
        {0xAD, 0xA4}, {0xB2, 0x8A}, {0xB6, 0xF0}, {0xB7, 0x8E}, {0xBA, 0x9A},
        {0xC3, 0x9E}, {0xC5, 0xA6}, {0xF9, 0xD0}, {0xFA, 0xD7}, {0xFB, 0xDD},
        {0xFD, 0xDE}, {0xFE, 0xFD}, {0xFF, 0xFE}};

    for (const BuiltInTable &table : kBuiltInTables) {
        SCOPED_TRACE(table.locale);
        std::vector<long> windows = CodePointsOf(table.windowsCodeset);
        std::vector<long> host = CodePointsOf(table.hostCodeset);
        std::vector<long> characters;
        if (strcmp(table.locale, "western") == 0) {
            for (int code = 0x80; code < 256; code++) {
                long point = windows[code];
                if (point >= 0 && point != 0x20AC && point != 0xA0 && point != 0xBA)
                    characters.push_back(point);
            }
        } else if (strcmp(table.locale, "cyrillic") == 0) {
            characters = russian;
        } else {
            characters.assign(czech, czech + sizeof czech / sizeof czech[0]);
        }

        std::set<std::pair<int, int>> expected;  // (host, Windows)
        for (long point : characters) {
            int windowsCode = UpperCodeOf(windows, point);
            int hostCode = UpperCodeOf(host, point);
            if (strcmp(table.locale, "western") != 0) {
                ASSERT_TRUE(windowsCode >= 0 && hostCode >= 0) << "U+" << std::hex << point;
            }
            if (windowsCode >= 0 && hostCode >= 0 && windowsCode != hostCode)
                expected.insert({hostCode, windowsCode});
        }
        if (strcmp(table.locale, "western") == 0) {
            for (const auto &pair : westernPairs) {
                EXPECT_EQ(-1, UpperCodeOf(windows, host[pair.first])) << "host " << pair.first;
                EXPECT_EQ(-1, UpperCodeOf(host, windows[pair.second])) << "Windows " << pair.second;
                expected.insert(pair);
            }
        }

        std::set<std::pair<int, int>> actual;
        for (const Row &row : RowsOf(TableOf(table.locale)))
            actual.insert({row.host + 256, row.windows + 256});
        EXPECT_EQ(expected, actual);
        EXPECT_EQ((size_t)table.rows, expected.size());
    }
}

// The codes without a row in the western table are exactly the ones its users rely on passing
// unchanged (the euro sign, the no-break space, the five characters at equal codes, ...).
TEST(BuiltInTables, WesternLeavesExactlyTheseCodesWithoutARow)
{
    const std::set<int> windowsWithoutRow = {0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0,
                                             0xA2, 0xA3, 0xA9, 0xAD, 0xB1, 0xB2, 0xB3,
                                             0xB5, 0xB9, 0xBA, 0xBC, 0xBD, 0xBE};
    const std::set<int> hostWithoutRow = {0xA2, 0xA3, 0xA9, 0xB0, 0xB1, 0xB3, 0xB5,
                                          0xB8, 0xB9, 0xBC, 0xBD, 0xC6, 0xCA, 0xD7,
                                          0xDA, 0xDB, 0xDE, 0xDF, 0xF0, 0xF5};
    std::set<int> windows, host;
    for (int code = 0x80; code < 256; code++) {
        windows.insert(code);
        host.insert(code);
    }
    for (const Row &row : RowsOf(TableOf("western"))) {
        windows.erase(row.windows + 256);
        host.erase(row.host + 256);
    }
    EXPECT_EQ(windowsWithoutRow, windows);
    EXPECT_EQ(hostWithoutRow, host);
}

// For every table, both directions and all 256 bytes, the conversions give what the row-by-row
// text walk gives. Guards against maps built from the wrong column, last match instead of
// first, or a byte left out of the map.
TEST(Conversion, AgreesWithTheTextWalkForEveryTableAndByte)
{
    for (const char *locale : kAllLocales) {
        SCOPED_TRACE(locale);
        std::string table = TableOf(locale);
        ExpectMapsMatchTextWalk(table, MapsThroughConversion(locale));
        ExpectMapsMatchTextWalk(table, MapsOf(table));
    }
}

// Characters whose conversion the solutions depend on, including the one-way rows: a code
// with a row in one column only does not come back to itself.
TEST(Conversion, ConvertsKnownCharacters)
{
    static const struct {
        const char *locale;
        bool hostToWindows;
        unsigned char from, to;
    } cases[] = {
        {"western", true, 0x9F, 0xFC},   // ü
        {"western", true, 0xD8, 0xFF},   // ÿ
        {"western", false, 0xFF, 0xD8},
        {"western", true, 0xB0, 0xB0},   // ∞ has no row: it reaches Windows as °
        {"western", false, 0x80, 0x80},  // € has no row
        {"western", true, 0xBA, 0x9A},   // ∫ pairs with š ...
        {"western", false, 0xBA, 0xBA},  // ... while º stays
        {"western", false, 0x9A, 0xBA},
        {"western", true, 0xFF, 0xFE},   // ˇ pairs with þ
        {"western", false, 0xFE, 0xFF},
        {"western", true, 0xA2, 0xA2},   // ¢ is at the same code in both
        {"cyrillic", true, 0x80, 0xC0},  // А
        {"cyrillic", true, 0xDF, 0xFF},  // я
        {"cyrillic", true, 0xE0, 0xE0},  // а is at the same code in both
        {"cyrillic", false, 0xA8, 0xDD}, // Ё
        {"czech", true, 0x9E, 0xEC},     // ě
        {"czech", false, 0x9A, 0xE4},    // š
        {"czech", true, 0x80, 0x80},     // Ä is not a Czech letter: no row
        {"english", true, 0x9F, 0x9F},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.locale << (c.hostToWindows ? " to Windows " : " to host ")
                                        << std::hex << (int)c.from);
        ASSERT_TRUE(SelectLocale(c.locale));
        char text[] = {'a', (char)c.from, 'b', '\0'};
        if (c.hostToWindows)
            ConvertHostToWindows(text);
        else
            ConvertWindowsToHost(text);
        EXPECT_EQ(c.to, (unsigned char)text[1]);
        EXPECT_EQ('a', text[0]);
        EXPECT_EQ('b', text[2]);
    }
}

// Bytes 0x01 to 0x7F never change, the length never changes, and nothing after the
// terminator is touched, under every table and in both directions.
TEST(Conversion, KeepsTheLowerHalfTheLengthAndTheBytesPastTheTerminator)
{
    for (const char *locale : kAllLocales) {
        for (int direction = 0; direction < 2; direction++) {
            SCOPED_TRACE(testing::Message() << locale << " direction " << direction);
            ASSERT_TRUE(SelectLocale(locale));
            char text[260];
            for (int i = 0; i < 255; i++)
                text[i] = (char)(i + 1);
            text[255] = '\0';
            memset(text + 256, 0xD8, 4);  // sentinels that a converter must not reach
            if (direction == 0)
                ConvertHostToWindows(text);
            else
                ConvertWindowsToHost(text);
            for (int i = 0; i < 0x7F; i++)
                ASSERT_EQ(i + 1, text[i]);
            EXPECT_EQ(255u, strlen(text));
            for (int i = 256; i < 260; i++)
                EXPECT_EQ((char)0xD8, text[i]);
        }
    }
}

// With the empty table every byte passes both ways unchanged, and NULL texts are ignored.
TEST(Conversion, EmptyTableAndNullTextChangeNothing)
{
    ASSERT_TRUE(SelectLocale("english"));
    ExpectTableInForce("");
    char text[256];
    for (int i = 0; i < 255; i++)
        text[i] = (char)(255 - i);
    text[255] = '\0';
    std::string before(text);
    ConvertHostToWindows(text);
    EXPECT_EQ(before, text);
    ConvertWindowsToHost(text);
    EXPECT_EQ(before, text);
    ConvertHostToWindows(NULL);
    ConvertWindowsToHost(NULL);
}

// Names match whole and without regard to case; anything else (blanks, part of a name, the
// empty text, a name cut short) leaves no conversion at all, not the previous table.
TEST(SelectLocale, MatchesWholeNamesWithoutRegardToCase)
{
    static const struct {
        const char *name;
        const char *locale;  // the table expected afterwards; "english" for none
        bool matched;
    } cases[] = {
        {"western", "western", true},   {"WESTERN", "western", true},
        {"Western", "western", true},   {"wEsTeRn", "western", true},
        {"cyrillic", "cyrillic", true}, {"CZECH", "czech", true},
        {"english", "english", true},   {"English", "english", true},
        {"west", "english", false},     {"western ", "english", false},
        {" western", "english", false}, {"westernx", "english", false},
        {"", "english", false},         {"czec", "english", false},
        {"russian", "english", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SelectDefaultCodePageTable();  // a table in force before each call
        EXPECT_EQ(c.matched, SelectLocale(c.name));
        ExpectTableInForce(TableOf(c.locale));
        char text[] = {(char)0x9F, '\0'};
        ConvertHostToWindows(text);
        EXPECT_EQ(ReferenceConvertByte(TableOf(c.locale).c_str(), 0x9F, true), (unsigned char)text[0]);
    }
    SelectDefaultCodePageTable();
    EXPECT_FALSE(SelectLocale(NULL));
    ExpectTableInForce("");
}

// The default table is "western", whatever was selected before.
TEST(SelectLocale, DefaultTableIsWestern)
{
    ASSERT_TRUE(SelectLocale("czech"));
    SelectDefaultCodePageTable();
    ExpectTableInForce(TableOf("western"));
    char text[] = {(char)0x9F, (char)0xD8, '\0'};
    ConvertHostToWindows(text);
    EXPECT_STREQ("\xFC\xFF", text);
}

// A code written in unsigned form never matches a byte, since bytes compare as negative
// values; the low 8 bits of the other field are the result, whatever form it has.
TEST(BuildCodePageMaps, UnsignedFieldsNeverMatchButAnswerTheirLowBits)
{
    CodePageMaps maps = MapsOf("216|216|255|0|-40|-1");
    EXPECT_EQ(0xFF, maps.hostToWindows[0xD8]);  // row 1 decides, not row 0
    EXPECT_EQ(0xD8, maps.windowsToHost[0xFF]);  // unsigned 255 in row 0 did not match
    maps = MapsOf("-1|216|-1|-1|-60|-4");
    EXPECT_EQ(0xD8, maps.hostToWindows[0xD8]);  // 216 never matches
    EXPECT_EQ(0xD8, maps.windowsToHost[0xFF]);  // low 8 bits of 216
    EXPECT_EQ(0xC4, maps.windowsToHost[0xFC]);
    ExpectMapsMatchTextWalk("-1|216|-1|-1|-60|-4", maps);
}

// Malformed and unusual table texts read as the row-by-row walk reads them: first match wins,
// atoi's reading of each field, the end-of-table value, rows cut short by the end of the text.
TEST(BuildCodePageMaps, ReadsMalformedTablesAsTheTextWalkDoes)
{
    static const struct {
        const char *table;
        int byte;             // a byte whose result is checked explicitly ...
        int toWindows, toHost;  // ... and its results in both directions
    } cases[] = {
        {"", 0xD8, 0xD8, 0xD8},
        {"|", 0xD8, 0xD8, 0xD8},
        {"||||||||", 0x80, 0x80, 0x80},
        {"0|-40|-1|0|-40|-2", 0xD8, 0xFF, 0xD8},    // the first of two rows decides
        {"0|-1|-40|0|-2|-40", 0xD8, 0xD8, 0xFF},
        {"0| \t-40xyz|  -1 ", 0xD8, 0xFF, 0xD8},   // atoi: blanks, then digits up to a non-digit
        {"0|+-40|-1", 0xD8, 0xD8, 0xD8},           // "+-40" reads 0
        {"0|-40|+5", 0xD8, 0x05, 0xD8},             // a plus sign is read as atoi reads it
        {"0|-0040|-1", 0xD8, 0xFF, 0xD8},
        {"0|-40|", 0xD8, 0x00, 0xD8},              // an empty field reads 0
        {"0|-40", 0xD8, 0xD8, 0xD8},               // row cut short: its third field is missing
        {"0|-40|-1000|0|-40|-1", 0xD8, 0xD8, 0xD8}, // matching row whose result is the end value
        {"0|-1000|-1|0|-40|-2", 0xD8, 0xD8, 0xD8}, // -1000 ends the host column ...
        {"0|-1000|-1|0|-40|-2", 0xFE, 0xFE, 0xD8}, // ... but not the Windows column
        {"0|-1|-1000|0|-40|-2", 0xFE, 0xFE, 0xFE}, // and here the other way round
        {"0|-40|99999999999999999999", 0xD8, 0xFF, 0xD8},  // held at INT_MAX
        {"0|-40|-99999999999999999999", 0xD8, 0x00, 0xD8}, // held at INT_MIN
        {"0|-40|-4294967297", 0xD8, 0x00, 0xD8},   // not wrapped to -1 on the way
        {"0|-296|-1", 0xD8, 0xD8, 0xD8},           // -296 is not -40 in 8 bits
        {"x|-40|-1|y", 0xD8, 0xFF, 0xD8},
        {"0|-40|-1|", 0xD8, 0xFF, 0xD8},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.table);
        CodePageMaps maps = MapsOf(c.table);
        EXPECT_EQ(c.toWindows, maps.hostToWindows[c.byte]);
        EXPECT_EQ(c.toHost, maps.windowsToHost[c.byte]);
        ExpectMapsMatchTextWalk(c.table, maps);
    }
}

// A field is read through a 100-byte buffer: 99 characters count, the rest of a longer field
// is ignored, and the field after it is still found.
TEST(BuildCodePageMaps, ReadsNinetyNineCharactersOfALongField)
{
    std::string fits = std::string(96, ' ') + "-40";  // 99 characters: read whole
    std::string cut = std::string(97, ' ') + "-40";   // 100 characters: read as "-4"
    std::string table = "0|" + fits + "|-1|0|" + cut + "|-2|0|-3|" + std::string(200, '7') + "|0|-5|-6";
    CodePageMaps maps = MapsOf(table);
    EXPECT_EQ(0xFF, maps.hostToWindows[0xD8]);
    EXPECT_EQ(0xFE, maps.hostToWindows[0xFC]);
    EXPECT_EQ(0xFF, maps.hostToWindows[0xFD]);  // 99 sevens read as INT_MAX
    EXPECT_EQ(0xFA, maps.hostToWindows[0xFB]);  // the row after the long field
    ExpectMapsMatchTextWalk(table, maps);
}

// A table text without a terminator is read only up to the capacity given: the last field
// ends there. The buffer ends exactly at the capacity, so a read past it is caught.
TEST(BuildCodePageMaps, StopsAtTheCapacityOfAnUnterminatedText)
{
    const char text[] = "0|-40|-1|0|-60|-123";
    for (size_t capacity = 0; capacity <= strlen(text); capacity++) {
        SCOPED_TRACE(capacity);
        char *unterminated = (char *)malloc(capacity > 0 ? capacity : 1);
        memcpy(unterminated, text, capacity);
        CodePageMaps maps;
        BuildCodePageMaps(capacity > 0 ? unterminated : NULL, capacity, &maps);
        ExpectMapsMatchTextWalk(std::string(text, capacity), maps);
        free(unterminated);
    }
}

// A table text longer than the current table's 4095 characters is cut there, and the
// conversion follows the cut text.
TEST(SetCurrentCodePageTable, CutsAnOverlongTableAtTheBuffer)
{
    std::string table;
    while (table.size() < 4080)
        table += "0|0|0|";
    table += "0|-40|-1|0|-60|-2";  // the cut falls after "0|-60|": that row's third field is empty
    SetCurrentCodePageTable(table.c_str());
    std::string held = table.substr(0, 4095);
    ExpectTableInForce(held);
    char text[] = {(char)0xD8, (char)0xC4, '\0'};
    ConvertHostToWindows(text);
    EXPECT_EQ(0xFF, (unsigned char)text[0]);
    EXPECT_EQ(0x00, (unsigned char)text[1]);  // the empty field reads 0
    ExpectMapsMatchTextWalk(held, MapsOf(held));
    SelectDefaultCodePageTable();
}
