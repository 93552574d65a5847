// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "locomotive.h"

#include "canvas.h"

#include <cmath>
#include <numbers>

namespace {

// Top of the rail; every wheel touches it.
constexpr double RailTop = 95;

void drawWheel(Canvas &canvas, double centreX, double radius, double tyre, double hubRadius,
               int spokes, double spokeThickness)
{
    const Point centre {centreX, RailTop - radius};
    const double spokeLength = radius - tyre + 0.5;
    canvas.ink(ring(centre, radius - tyre, radius));
    canvas.ink(disc(centre, hubRadius));
    for (int i = 0; i < spokes; ++i) {
        // Half a step off the vertical, so no spoke lines up with the pixel grid and looks heavier.
        const double angle = (i + 0.5) * 2 * std::numbers::pi / spokes;
        const Point rim {centre.x + spokeLength * std::cos(angle),
                         centre.y + spokeLength * std::sin(angle)};
        canvas.ink(bar(centre, rim, spokeThickness));
    }
}

} // namespace

std::vector<bool> drawLocomotive()
{
    Canvas canvas(LocomotiveWidth, LocomotiveHeight, 1.0, Tone::Paper);

    // Rail and sleepers.
    canvas.ink(rectangle(0, RailTop, LocomotiveWidth, RailTop + 3));
    for (int x = 4; x < LocomotiveWidth; x += 14)
        canvas.ink(rectangle(x, RailTop + 3, x + 8, RailTop + 6));

    // Cab, with an overhanging roof and a window.
    canvas.ink(rectangle(8, 16, 56, 21));
    canvas.ink(rectangle(12, 21, 52, 60));
    canvas.paper(rectangle(21, 27, 41, 42));

    // Boiler and the slightly taller smokebox with its rounded door at the front.
    canvas.ink(rectangle(52, 32, 150, 58));
    canvas.ink(rectangle(148, 30, 163, 58));
    canvas.ink(ellipse({163, 44}, 3, 14));

    // Domes: the steam dome and, nearer the front, the sand dome.
    canvas.ink(rectangle(76, 24, 92, 32));
    canvas.ink(ellipse({84, 24}, 8, 7));
    canvas.ink(rectangle(110, 27, 122, 32));
    canvas.ink(ellipse({116, 27}, 6, 5));

    // Balloon chimney: a short stem flaring out to a wide top with a rim.
    canvas.ink(polygon({{148, 31}, {158, 31}, {158, 24}, {165, 9}, {141, 9}, {148, 24}}));
    canvas.ink(rectangle(139, 5, 167, 9));

    // Headlamp on a bracket at the front of the smokebox.
    canvas.ink(rectangle(164, 20, 176, 30));
    canvas.ink(rectangle(163, 30, 167, 35));

    // Running board, buffer beam and cylinder.
    canvas.ink(rectangle(38, 58, 178, 62));
    canvas.ink(rectangle(166, 62, 178, 70));
    canvas.ink(rectangle(132, 62, 155, 74));

    // Cowcatcher: a wedge reaching down to the rail, its bars picked out in white along the slope.
    canvas.ink(polygon({{166, 68}, {178, 68}, {194, RailTop}, {166, RailTop}}));
    for (double x : {169.0, 174.0})
        canvas.paper(
            polygon({{x, 71}, {x + 1.5, 71}, {x + 1.5 + 14, RailTop - 2}, {x + 14, RailTop - 2}}));

    // Two leading wheels under the cylinder, two driving wheels under the boiler.
    for (double x : {137.0, 156.0})
        drawWheel(canvas, x, 9, 2.5, 2, 8, 1.5);
    constexpr double DriverRadius = 18;
    constexpr double RearDriverX = 60;
    constexpr double FrontDriverX = 100;
    for (double x : {RearDriverX, FrontDriverX})
        drawWheel(canvas, x, DriverRadius, 4, 3, 10, 1.6);

    // Piston rod, crosshead, main rod and coupling rod, with the cranks at the bottom.
    const double crankY = RailTop - DriverRadius + 9;
    canvas.ink(rectangle(124, 66, 132, 68));
    canvas.ink(rectangle(120, 63, 126, 71));
    canvas.ink(bar({122, 67}, {FrontDriverX, crankY}, 3));
    canvas.ink(bar({RearDriverX - 2, crankY}, {FrontDriverX + 2, crankY}, 3));
    for (double x : {RearDriverX, FrontDriverX})
        canvas.ink(disc({x, crankY}, 2.5));

    std::vector<bool> ink;
    ink.reserve(canvas.tones().size());
    for (const Tone tone : canvas.tones())
        ink.push_back(tone == Tone::Ink);
    return ink;
}
