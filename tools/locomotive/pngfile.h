// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PNGFILE_H
#define PNGFILE_H

#include "canvas.h"

#include <QImage>

#include <string>
#include <vector>

// A square picture as an indexed image with exactly three entries: clear (fully transparent),
// paper (white) and ink (near-black 4, 4, 4, the window picture's black).
QImage toneImage(const std::vector<Tone> &tones, int size);

// Writes that image as a PNG. Returns false when the file cannot be written.
bool writePng(const std::vector<Tone> &tones, int size, const std::string &path);

#endif // PNGFILE_H
