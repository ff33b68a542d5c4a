// The Windows code pages of the built-in locales, read without the system's help: the upper
// half of each as UTF-16 (generated into windows_codepages.cpp).
#ifndef TARVEL_WINDOWS_CODEPAGES_H
#define TARVEL_WINDOWS_CODEPAGES_H

#include <stdint.h>

extern const uint16_t kWindows1250UpperHalf[128];  // Central European ("czech")
extern const uint16_t kWindows1251UpperHalf[128];  // Cyrillic ("cyrillic")
extern const uint16_t kWindows1252UpperHalf[128];  // Western ("western")

#endif
