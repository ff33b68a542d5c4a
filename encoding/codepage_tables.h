// The built-in code-page table texts (generated into codepage_tables.cpp by
// tools/gen_codepage_tables.py).
#ifndef TARVEL_CODEPAGE_TABLES_H
#define TARVEL_CODEPAGE_TABLES_H

extern const char kWesternTableText[];   // Windows-1252 and Mac OS Roman
extern const char kCyrillicTableText[];  // Windows-1251 and Mac OS Cyrillic
extern const char kCzechTableText[];     // Windows-1250 and Mac OS Central European

#endif
