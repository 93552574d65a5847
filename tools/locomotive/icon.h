#ifndef ICON_H
#define ICON_H

#include "canvas.h"

#include <vector>

// The sizes the desktop's icon theme gets, in pixels square.
inline constexpr int IconSizes[] = {48, 128, 256};

// The window's locomotive made square for the desktop's menus and task bars: shortened and drawn
// with strokes of two pixels or more at 48 px, in ink on a paper tile whose rounded corners are
// clear. Returns size * size tones, row by row from the top.
std::vector<Tone> drawIcon(int size);

#endif // ICON_H
