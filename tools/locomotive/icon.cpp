// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "icon.h"

#include <cmath>
#include <numbers>

namespace {

// The icon is drawn on a 48-unit grid, one unit a pixel at the smallest size, so no stroke that
// must survive at 48 px is thinner than two units.
constexpr double GridSize = 48;
constexpr double RailTop = 38;
// Below this many pixels a unit, eight thin spokes and the coupling rod would merge into a blot,
// so a wheel gets four whole-pixel spokes along the pixel grid instead, and no rod crosses them.
constexpr double FineDetailFromPixelsPerUnit = 2.5;

void drawWheel(Canvas &canvas, Point centre, double radius, double tyre)
{
    const bool fine = canvas.pixelsPerUnit() >= FineDetailFromPixelsPerUnit;
    const int spokes = fine ? 8 : 4;
    const double thickness = fine ? 0.6 : 1.0;
    const double offset = fine ? 0.5 : 0.0;
    const double spokeLength = radius - tyre + 0.25;
    canvas.ink(ring(centre, radius - tyre, radius));
    for (int i = 0; i < spokes; ++i) {
        const double angle = (i + offset) * 2 * std::numbers::pi / spokes;
        canvas.ink(bar(
            centre,
            {centre.x + spokeLength * std::cos(angle), centre.y + spokeLength * std::sin(angle)},
            thickness));
    }
    canvas.ink(disc(centre, 1.25));
}

// Below a pixel a unit (Windows' 16, 24 and 32 px icons) two-unit strokes fall between pixel
// centres, so the small icons keep the silhouette alone, each edge on a multiple of three units (a
// whole pixel at 16 px): solid wheels parted from the body by a row of paper, no sleepers.
void drawSilhouette(Canvas &canvas)
{
    constexpr double Rail = 39;
    canvas.ink(rectangle(4, Rail, 44, Rail + 3));

    // Cab with its roof and a window.
    canvas.ink(rectangle(4, 6, 18, 9));
    canvas.ink(rectangle(6, 9, 15, 27));
    canvas.paper(rectangle(9, 12, 12, 18));

    // Boiler, smokebox, steam dome and chimney.
    canvas.ink(rectangle(15, 15, 36, 24));
    canvas.ink(rectangle(36, 12, 42, 24));
    canvas.ink(rectangle(21, 12, 27, 15));
    canvas.ink(rectangle(33, 6, 36, 12));
    canvas.ink(rectangle(30, 3, 39, 6));

    // Running board and cowcatcher.
    canvas.ink(rectangle(6, 24, 42, 27));
    canvas.ink(polygon({{39, 24}, {42, 24}, {45, Rail}, {39, Rail}}));

    canvas.ink(disc({13.5, 34.5}, 4.5));
    canvas.ink(disc({25.5, 34.5}, 4.5));
    canvas.ink(disc({34.5, 36}, 3));
}

} // namespace

std::vector<Tone> drawIcon(int size)
{
    Canvas canvas(size, size, size / GridSize, Tone::Clear);
    canvas.paper(roundedRectangle(1, 1, 47, 47, 7));
    if (canvas.pixelsPerUnit() < 1) {
        drawSilhouette(canvas);
        return canvas.tones();
    }

    // Rail and sleepers.
    canvas.ink(rectangle(4, RailTop, 44, RailTop + 2));
    for (double x = 5; x < 43; x += 6)
        canvas.ink(rectangle(x, RailTop + 2, x + 3, RailTop + 4));

    // Cab with its roof and a window.
    canvas.ink(rectangle(4, 7, 17, 9.5));
    canvas.ink(rectangle(5, 9, 16, 26));
    canvas.paper(rectangle(8, 12, 13, 17));

    // Boiler, smokebox with its rounded door, steam dome.
    canvas.ink(rectangle(15, 15, 35, 25));
    canvas.ink(rectangle(34, 14, 39, 25));
    canvas.ink(ellipse({39, 19.5}, 1.5, 5.5));
    canvas.ink(rectangle(21, 12, 27, 15));
    canvas.ink(ellipse({24, 12}, 3, 2.5));

    // Balloon chimney and headlamp.
    canvas.ink(polygon({{34, 15}, {37, 15}, {37, 10}, {39, 5.5}, {32, 5.5}, {34, 10}}));
    canvas.ink(rectangle(31, 4, 40, 6));
    canvas.ink(rectangle(39.5, 9, 43, 13));
    canvas.ink(rectangle(39, 13, 40.5, 14));

    // Running board and cylinder.
    canvas.ink(rectangle(12, 25, 41, 27));
    canvas.ink(rectangle(31, 27, 37, 30));

    // Cowcatcher down to the rail.
    canvas.ink(polygon({{39, 27}, {41, 27}, {45, RailTop}, {39, RailTop}}));

    // Two driving wheels and one leading wheel, joined by the coupling rod.
    constexpr double DriverRadius = 6;
    constexpr double DriverY = RailTop - DriverRadius;
    drawWheel(canvas, {12.5, DriverY}, DriverRadius, 2);
    drawWheel(canvas, {26.5, DriverY}, DriverRadius, 2);
    canvas.ink(disc({35.5, RailTop - 3.5}, 3.5));
    if (canvas.pixelsPerUnit() >= FineDetailFromPixelsPerUnit)
        canvas.ink(bar({11, DriverY + 3}, {28, DriverY + 3}, 1.5));

    return canvas.tones();
}
