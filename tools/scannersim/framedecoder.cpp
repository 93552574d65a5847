// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "framedecoder.h"

#include <cstdio>

namespace {

constexpr unsigned char Stx = 0x02;
constexpr unsigned char Etx = 0x03;
constexpr unsigned char Esc = 0x1B;

std::string hexByte(unsigned char byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string describeLoose(std::string_view bytes)
{
    if (bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) == Esc)
        return "ESC";
    std::string item = "hex";
    for (const char c : bytes) {
        item += ' ';
        item += hexByte(static_cast<unsigned char>(c));
    }
    return item;
}

// frame holds STX, the body, ETX and the check byte.
std::string describeFrame(std::string_view frame)
{
    const std::string_view body = frame.substr(1, frame.size() - 3);
    const auto check = static_cast<unsigned char>(frame.back());
    unsigned char expected = 0;
    for (const char c : frame.substr(1, frame.size() - 2))
        expected ^= static_cast<unsigned char>(c);
    std::string item = "STX \"" + std::string {body} + "\" ETX " + hexByte(check);
    // Pelmar's Default command carries the check byte without ETX; show it, do not refuse it.
    if (check != expected)
        item += " (check byte should be " + hexByte(expected) + ")";
    return item;
}

bool isBodyCharacter(unsigned char byte)
{
    return byte >= 0x20 && byte < 0x7F;
}

} // namespace

std::vector<std::string> FrameDecoder::feed(std::string_view chunk)
{
    std::vector<std::string> items;
    std::string loose;
    const auto startOrAddLoose = [&](char c) {
        if (static_cast<unsigned char>(c) != Stx) {
            loose.push_back(c);
            return;
        }
        if (!loose.empty())
            items.push_back(describeLoose(loose));
        loose.clear();
        m_frame.push_back(c);
    };

    for (const char c : chunk) {
        const auto byte = static_cast<unsigned char>(c);
        if (m_frame.empty()) {
            startOrAddLoose(c);
        } else if (static_cast<unsigned char>(m_frame.back()) == Etx) {
            m_frame.push_back(c);
            items.push_back(describeFrame(m_frame));
            m_frame.clear();
        } else if (byte == Etx || isBodyCharacter(byte)) {
            m_frame.push_back(c);
        } else {
            // Not a frame after all: what it held is loose bytes, and this byte starts afresh.
            loose += m_frame;
            m_frame.clear();
            startOrAddLoose(c);
        }
    }
    if (!loose.empty())
        items.push_back(describeLoose(loose));
    return items;
}

std::vector<std::string> FrameDecoder::flush()
{
    if (m_frame.empty())
        return {};
    const std::string item = describeLoose(m_frame);
    m_frame.clear();
    return {item};
}
