#ifndef LOCOMOTIVE_H
#define LOCOMOTIVE_H

#include <vector>

inline constexpr int locomotiveWidth = 195;
inline constexpr int locomotiveHeight = 104;

// A 4-4-0 steam locomotive in side view, facing right, standing on a rail. Returns
// locomotiveWidth * locomotiveHeight values, row by row from the top, true where it is inked.
// Every shape is decided per pixel without blending, so the picture has exactly two colours.
std::vector<bool> drawLocomotive();

#endif // LOCOMOTIVE_H
