// The rules of the icon rendering that need no Windows call: which pixels of an icon are
// transparent, and how many entries the palette of a bitmap has.
#ifndef TARVEL_ICON_PIXELS_H
#define TARVEL_ICON_PIXELS_H

#include <stdint.h>

// True when an icon pixel is transparent: its colour is pure black and its mask is pure
// white. Both values are colour references 0x00bbggrr as GetPixel returns them; the fourth
// byte is ignored in both. Opaque pixels (mask not white) and pixels that invert the screen
// (mask white, colour not black) are not transparent.
bool IsTransparentIconPixel(uint32_t colour, uint32_t mask);

// Number of palette entries of a bitmap with this many planes and bits per pixel:
// 2 to the power of planes x bitsPerPixel (1 for a depth of 0), or 0 when that depth is
// greater than 8 and the bitmap gets no palette.
uint32_t PaletteEntryCount(uint16_t planes, uint16_t bitsPerPixel);

#endif
