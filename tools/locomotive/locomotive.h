// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef LOCOMOTIVE_H
#define LOCOMOTIVE_H

#include <vector>

inline constexpr int LocomotiveWidth = 195;
inline constexpr int LocomotiveHeight = 104;

// A 4-4-0 steam locomotive in side view, facing right, standing on a rail. Returns
// LocomotiveWidth * LocomotiveHeight values, row by row from the top, true where it is inked.
// Every shape is decided per pixel without blending, so the picture has exactly two colours.
std::vector<bool> drawLocomotive();

#endif // LOCOMOTIVE_H
