// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef ICON_H
#define ICON_H

#include "canvas.h"

#include <vector>

// The sizes the desktop's icon theme gets, in pixels square.
inline constexpr int IconSizes[] = {48, 128, 256};
// The sizes in the Windows icon: lists, the task bar and the Start menu at 100 % to 200 % scale,
// and the large tiles.
inline constexpr int WindowsIconSizes[] = {16, 24, 32, 48, 64, 256};

// The window's locomotive made square for the desktop's menus and task bars: shortened and drawn
// with strokes of two pixels or more at 48 px, as a plain silhouette below 48 px, in ink on a paper
// tile whose rounded corners are clear. Returns size * size tones, row by row from the top.
std::vector<Tone> drawIcon(int size);

#endif // ICON_H
