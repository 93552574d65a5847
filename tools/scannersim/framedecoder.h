// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef SCANNERSIM_FRAMEDECODER_H
#define SCANNERSIM_FRAMEDECODER_H

#include <string>
#include <string_view>
#include <vector>

// Turns what Pelmar sends into one log item each: a framed command (STX, ASCII body, ETX, check
// byte), a lone ESC, or hex bytes. Chunks are fed as the line delivers them, so a frame may
// span several chunks; the loose bytes of one chunk make one hex item.
class FrameDecoder
{
public:
    std::vector<std::string> feed(std::string_view chunk);
    // Gives up on an unfinished frame and returns its bytes as hex, for a line gone quiet.
    std::vector<std::string> flush();
    bool hasPartialFrame() const { return !m_frame.empty(); }

private:
    std::string m_frame; // from STX on, while a frame is open
};

#endif // SCANNERSIM_FRAMEDECODER_H
