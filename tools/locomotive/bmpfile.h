// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef BMPFILE_H
#define BMPFILE_H

#include <cstdint>
#include <vector>

// A two-colour picture as a Windows BMP: 24 bits per pixel, uncompressed, bottom-up rows padded
// to four bytes, 96 dpi. ink holds width * height values, row by row from the top; inked pixels
// come out near-black (4, 4, 4), the rest white.
std::vector<std::uint8_t> encodeBmp(const std::vector<bool> &ink, int width, int height);

#endif // BMPFILE_H
