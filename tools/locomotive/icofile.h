// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef ICOFILE_H
#define ICOFILE_H

#include "canvas.h"

#include <string>
#include <vector>

// One picture of a Windows icon: size * size tones, row by row from the top.
struct IcoPicture
{
    int size;
    std::vector<Tone> tones;
};

// Writes the pictures, each at most 256 px square, as one Windows icon file with an entry for
// each, stored as an RGBA PNG (which Windows reads at every size since Vista). Returns false
// when a picture is of no size an icon can hold or the file cannot be written.
bool writeIco(const std::vector<IcoPicture> &pictures, const std::string &path);

#endif // ICOFILE_H
