// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

Shape rectangle(double left, double top, double right, double bottom)
{
    return [=](Point p) { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; };
}

Shape ellipse(Point centre, double radiusX, double radiusY)
{
    return [=](Point p) {
        const double dx = (p.x - centre.x) / radiusX;
        const double dy = (p.y - centre.y) / radiusY;
        return dx * dx + dy * dy <= 1.0;
    };
}

Shape disc(Point centre, double radius)
{
    return ellipse(centre, radius, radius);
}

Shape ring(Point centre, double innerRadius, double outerRadius)
{
    return [=](Point p) {
        const double distance = std::hypot(p.x - centre.x, p.y - centre.y);
        return distance >= innerRadius && distance <= outerRadius;
    };
}

Shape bar(Point from, Point to, double thickness)
{
    return [=](Point p) {
        const double dx = to.x - from.x;
        const double dy = to.y - from.y;
        const double length = std::hypot(dx, dy);
        const double along = ((p.x - from.x) * dx + (p.y - from.y) * dy) / length;
        const double across = ((p.x - from.x) * dy - (p.y - from.y) * dx) / length;
        return along >= 0.0 && along <= length && std::abs(across) <= thickness / 2;
    };
}

Shape polygon(std::vector<Point> corners)
{
    return [corners = std::move(corners)](Point p) {
        bool inside = false;
        for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
            const Point a = corners[i];
            const Point b = corners[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) {
                inside = !inside;
            }
        }
        return inside;
    };
}

Shape roundedRectangle(double left, double top, double right, double bottom, double radius)
{
    return [=](Point p) {
        if (p.x < left || p.x >= right || p.y < top || p.y >= bottom)
            return false;
        // Distance outside the inner rectangle whose corners are the centres of the roundings.
        const double dx = std::max({left + radius - p.x, 0.0, p.x - (right - radius)});
        const double dy = std::max({top + radius - p.y, 0.0, p.y - (bottom - radius)});
        return dx * dx + dy * dy <= radius * radius;
    };
}

Canvas::Canvas(int width, int height, double pixelsPerUnit, Tone background)
    : m_width(width),
      m_height(height),
      m_pixelsPerUnit(pixelsPerUnit),
      m_tones(static_cast<std::size_t>(width * height), background)
{
}

void Canvas::paint(const Shape &shape, Tone tone)
{
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if (shape({(x + 0.5) / m_pixelsPerUnit, (y + 0.5) / m_pixelsPerUnit}))
                m_tones[static_cast<std::size_t>(y * m_width + x)] = tone;
        }
    }
}
