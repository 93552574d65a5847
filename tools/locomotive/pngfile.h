#ifndef PNGFILE_H
#define PNGFILE_H

#include "canvas.h"

#include <string>
#include <vector>

// Writes a square picture as an indexed PNG with exactly three entries: clear (fully transparent),
// paper (white) and ink (near-black 4, 4, 4, the window picture's black). Returns false when the
// file cannot be written.
bool writePng(const std::vector<Tone> &tones, int size, const std::string &path);

#endif // PNGFILE_H
