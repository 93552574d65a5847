// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef PARITYMARKS_H
#define PARITYMARKS_H

#include <QByteArray>
#include <QByteArrayView>

// Decodes how the serial driver delivers a byte received with a parity error, and puts '?', the
// character the port shows in its place, there. A terminal driver on Linux marks it as 0xFF 0x00 X
// and doubles a real 0xFF; a break arrives as 0xFF 0x00 0x00, which cannot be told from a bad NUL,
// so it becomes '?' too. The decoder keeps its state between reads, so a marker split across two
// reads is decoded whole. Windows puts a byte of its own choosing in place of the bad byte: 0xFF,
// which a line of fewer than 8 data bits never carries.
class ParityMarkDecoder
{
public:
    static constexpr char Replacement = '?';
    static constexpr char ErrorByte = static_cast<char>(0xFF);

    enum class Marking {
        Terminal, // 0xFF 0x00 X for a bad byte, 0xFF 0xFF for a real one
        ErrorByte, // ErrorByte alone for a bad byte
        None, // bad bytes are not told apart
    };

    explicit ParityMarkDecoder(Marking marking = Marking::Terminal) : m_marking(marking) { }

    // Appends to marked, when given, one byte a character returned: 1 where it stands for a
    // byte received with a parity error or a break, 0 elsewhere.
    QByteArray decode(QByteArrayView raw, QByteArray *marked = nullptr);

private:
    Marking m_marking;
    int m_markerBytesSeen = 0;
};

#endif // PARITYMARKS_H
