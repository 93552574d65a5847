// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef CANVAS_H
#define CANVAS_H

#include <cstdint>
#include <functional>
#include <vector>

struct Point
{
    double x;
    double y;
};

// A shape is the set of points it contains; painting it sets every pixel whose centre falls inside
// to one tone outright, which is what keeps the pictures free of in-between greys.
using Shape = std::function<bool(Point)>;

Shape rectangle(double left, double top, double right, double bottom);
Shape ellipse(Point centre, double radiusX, double radiusY);
Shape disc(Point centre, double radius);
Shape ring(Point centre, double innerRadius, double outerRadius);
// A straight bar of the given thickness with square-cut ends.
Shape bar(Point from, Point to, double thickness);
// Even-odd rule, so the corners may be given in either winding order.
Shape polygon(std::vector<Point> corners);
Shape roundedRectangle(double left, double top, double right, double bottom, double radius);

enum class Tone : std::uint8_t { Clear, Paper, Ink };

// Pixels of width * height, row by row from the top. Shapes are given in drawing units; one unit
// is pixelsPerUnit pixels, so one drawing comes out at several sizes without resampling.
class Canvas
{
public:
    Canvas(int width, int height, double pixelsPerUnit, Tone background);

    void ink(const Shape &shape) { paint(shape, Tone::Ink); }
    void paper(const Shape &shape) { paint(shape, Tone::Paper); }
    double pixelsPerUnit() const { return m_pixelsPerUnit; }

    const std::vector<Tone> &tones() const { return m_tones; }

private:
    void paint(const Shape &shape, Tone tone);

    int m_width;
    int m_height;
    double m_pixelsPerUnit;
    std::vector<Tone> m_tones;
};

#endif // CANVAS_H
