#!/usr/bin/env python3
"""Writes encoding/codepage_tables.cpp: the built-in code-page table texts of tarvel.

Each table lists, as rows "windows|host|windows" of signed decimal codes (the code minus
256), the upper-half characters that the host's Macintosh character set and the Windows code
page hold at different codes. The rows are derived from Python's codecs for the six code
pages; the counts and lengths checked at the end guard against a codec that changed.

usage: tools/gen_codepage_tables.py [output file]   (default: encoding/codepage_tables.cpp)
       tools/gen_codepage_tables.py --check         (fails when the committed file differs)
"""
import os
import sys
import unicodedata


def upper_half(codec):
    """Maps each character of the codec's upper half to its code."""
    codes = {}
    for code in range(0x80, 0x100):
        try:
            codes[bytes([code]).decode(codec)] = code
        except UnicodeDecodeError:
            pass  # no character at this code
    return codes


def character_row(character, windows, host):
    """A row as (Windows code, host code, host character, Windows character)."""
    return (windows, host, character, character)


# Western: every character that both sets hold at different codes, except these three, which
# have no row and keep their codes: the euro sign, the no-break space and the masculine
# ordinal indicator.
WESTERN_EXCLUDED = {"\u20ac", "\u00a0", "\u00ba"}

# Western pairing rows: a Mac OS Roman character that Windows-1252 lacks takes the code of a
# Windows-1252 character that Mac OS Roman lacks, so that these codes survive a round trip.
WESTERN_PAIRS = [  # (host code, Windows code)
    (0xAD, 0xA4), (0xB2, 0x8A), (0xB6, 0xF0), (0xB7, 0x8E), (0xBA, 0x9A),
    (0xC3, 0x9E), (0xC5, 0xA6), (0xF9, 0xD0), (0xFA, 0xD7), (0xFB, 0xDD),
    (0xFD, 0xDE), (0xFE, 0xFD), (0xFF, 0xFE),
]

CYRILLIC_LETTERS = ([chr(c) for c in range(0x410, 0x430)] + ["\u0401"]  # А..Я, Ё
                    + [chr(c) for c in range(0x430, 0x450)] + ["\u0451"])  # а..я, ё

# The Czech accented letters, small first in the order of the Czech keyboard's top row,
# then the others, then the capitals in the same order.
CZECH_SMALL = "\u011b\u0161\u010d\u0159\u017e\u00fd\u00e1\u00ed\u00e9" \
              "\u010f\u0148\u00f3\u0165\u00fa\u016f"  # ě š č ř ž ý á í é ď ň ó ť ú ů
CZECH_LETTERS = list(CZECH_SMALL) + [c.upper() for c in CZECH_SMALL]


def western_rows():
    windows = upper_half("cp1252")
    host = upper_half("mac_roman")
    rows = [character_row(c, w, host[c]) for c, w in windows.items()
            if c in host and host[c] != w and c not in WESTERN_EXCLUDED]
    host_char = {code: c for c, code in host.items()}
    windows_char = {code: c for c, code in windows.items()}
    for h, w in WESTERN_PAIRS:
        assert host_char[h] not in windows and windows_char[w] not in host, (h, w)
        rows.append((w, h, host_char[h], windows_char[w]))
    # Highest Windows code first.
    return sorted(rows, key=lambda row: -row[0])


def letter_rows(letters, windows_codec, host_codec, order):
    windows = upper_half(windows_codec)
    host = upper_half(host_codec)
    rows = [character_row(c, windows[c], host[c]) for c in letters
            if host[c] != windows[c]]
    return sorted(rows, key=order)


def cyrillic_rows():
    # Lowest host code first: the capitals А..Я come first, as they stand at 0x80..0x9F.
    return letter_rows(CYRILLIC_LETTERS, "cp1251", "mac_cyrillic", lambda row: row[1])


def czech_rows():
    return letter_rows(CZECH_LETTERS, "cp1250", "mac_latin2",
                       lambda row: CZECH_LETTERS.index(row[2]))


def signed(code):
    return code - 256


def row_text(row):
    return "%d|%d|%d" % (signed(row[0]), signed(row[1]), signed(row[0]))


def table_text(rows):
    return "|".join(row_text(row) for row in rows)


def describe(row):
    windows, host, host_character, windows_character = row
    text = "host 0x%02X %s" % (host, unicodedata.name(host_character, "?"))
    if windows_character != host_character:
        text += " / Windows 0x%02X %s" % (windows, unicodedata.name(windows_character, "?"))
    else:
        text += ", Windows 0x%02X" % windows
    return text


def cpp_table(name, title, rows):
    lines = ["// %s: %d rows." % (title, len(rows)), "extern const char %s[] =" % name]
    for index, row in enumerate(rows):
        last = index + 1 == len(rows)
        literal = '"%s"%s' % (row_text(row) + ("" if last else "|"), ";" if last else "")
        lines.append("    %-18s  // %s" % (literal, describe(row)))
    return "\n".join(lines) + "\n"


TABLES = [  # (C++ name, title, rows, expected rows, expected length, expected first row)
    ("kWesternTableText", "Windows-1252 and Mac OS Roman", western_rows(), 108, 1345, "-1|-40|-1"),
    ("kCyrillicTableText", "Windows-1251 and Mac OS Cyrillic", cyrillic_rows(), 35, 446,
     "-64|-128|-64"),
    ("kCzechTableText", "Windows-1250 and Mac OS Central European", czech_rows(), 30, 367,
     "-20|-98|-20"),
]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    committed = os.path.join(root, "encoding", "codepage_tables.cpp")
    check = sys.argv[1:] == ["--check"]
    output = sys.argv[1] if len(sys.argv) > 1 and not check else committed
    parts = [
        "// The built-in code-page table texts: rows \"windows|host|windows\" of signed decimal\n"
        "// codes (the code minus 256) for the upper-half characters that the host's Macintosh\n"
        "// character set and the Windows code page hold at different codes (and, in the western\n"
        "// table, thirteen pairings of characters that only one of the two sets holds).\n"
        "// Generated by tools/gen_codepage_tables.py from the standard code-page mappings;\n"
        "// edit the script, not this file.\n"
        "#include \"encoding/codepage_tables.h\"\n"]
    for name, title, rows, count, length, first in TABLES:
        text = table_text(rows)
        hosts = [row[1] for row in rows]
        windows = [row[0] for row in rows]
        assert len(rows) == count, (name, len(rows))
        assert len(text) == length, (name, len(text))
        assert text.split("|")[:3] == first.split("|"), (name, text[:20])
        assert len(set(hosts)) == len(hosts) and len(set(windows)) == len(windows), name
        parts.append(cpp_table(name, title, rows))
    text = "\n".join(parts)
    if check:
        with open(committed, encoding="ascii", newline="") as existing:
            if existing.read() != text:
                sys.exit("encoding/codepage_tables.cpp differs from the generator's output")
        return
    with open(output, "w", encoding="ascii", newline="\n") as out:
        out.write(text)


if __name__ == "__main__":
    main()
