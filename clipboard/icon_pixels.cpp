// Transparent icon pixels and palette sizes.
#include "clipboard/icon_pixels.h"

enum {
    kRgbBits = 0x00FFFFFF,
    kMaxPaletteDepth = 8
};

bool IsTransparentIconPixel(uint32_t colour, uint32_t mask)
{
    return (colour & kRgbBits) == 0 && (mask & kRgbBits) == kRgbBits;
}

uint32_t PaletteEntryCount(uint16_t planes, uint16_t bitsPerPixel)
{
    // Widened before multiplying: 65535 x 65535 fits in 32 unsigned bits, not in an int.
    uint32_t depth = (uint32_t)planes * (uint32_t)bitsPerPixel;
    if (depth > kMaxPaletteDepth)
        return 0;
    return 1u << depth;
}
