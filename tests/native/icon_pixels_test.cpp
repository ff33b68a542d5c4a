// The icon rules without Windows: which pixels count as transparent, and palette sizes.
#include <gtest/gtest.h>
#include "clipboard/icon_pixels.h"

// Only black colour over a white mask is transparent; the fourth byte of either value must
// not matter, and near-black or near-white values must not pass for the pure ones.
TEST(IconPixels, TransparentOnlyWhereColourIsBlackAndMaskIsWhite)
{
    static const struct {
        uint32_t colour;  // 0x00bbggrr as GetPixel gives it
        uint32_t mask;
        bool transparent;
    } cases[] = {
        {0x000000, 0xFFFFFF, true},
        {0xFF000000, 0xFFFFFF, true},     // fourth byte of the colour ignored
        {0x000000, 0x01FFFFFF, true},     // fourth byte of the mask ignored
        {0x000000, 0x000000, false},      // opaque black stays black
        {0x000001, 0xFFFFFF, false},      // inverting pixel: any non-black colour
        {0x010000, 0xFFFFFF, false},
        {0x000100, 0xFFFFFF, false},
        {0x000000, 0xFFFFFE, false},      // mask not quite white
        {0x000000, 0xFEFFFF, false},
        {0x000000, 0xFFFEFF, false},
        {0xFFFFFF, 0xFFFFFF, false},
        {0x123456, 0x000000, false},
        {0xFFFFFFFF, 0xFFFFFFFF, false},  // CLR_INVALID from a failed read is not black
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour << " over " << c.mask);
        EXPECT_EQ(c.transparent, IsTransparentIconPixel(c.colour, c.mask));
    }
}

// 2 to the power of planes x bits up to a depth of 8; deeper bitmaps have no palette. The
// product is taken in 32 bits, so large values must not wrap round into a small depth.
TEST(IconPixels, PaletteEntryCountFollowsTheDepth)
{
    static const struct {
        uint16_t planes, bits;
        uint32_t entries;
    } cases[] = {
        {1, 1, 2}, {1, 4, 16}, {1, 8, 256}, {1, 2, 4}, {2, 4, 256}, {4, 1, 16},
        {1, 0, 1}, {0, 8, 1},
        {1, 9, 0}, {1, 16, 0}, {1, 24, 0}, {1, 32, 0}, {3, 3, 0},
        {0x8000, 0x8000, 0}, {0xFFFF, 0xFFFF, 0}, {0x100, 0x100, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.planes << " x " << c.bits);
        EXPECT_EQ(c.entries, PaletteEntryCount(c.planes, c.bits));
    }
}
