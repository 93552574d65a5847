// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "paritymarks.h"

namespace {
constexpr char Mark = static_cast<char>(0xFF);
}

QByteArray ParityMarkDecoder::decode(QByteArrayView raw, QByteArray *marked)
{
    QByteArray out;
    out.reserve(raw.size());
    QByteArray flags;
    const auto markBadByte = [&] {
        if (marked)
            flags.append(out.size() - flags.size(), '\0').append('\1');
        out += Replacement;
    };
    for (const char byte : raw) {
        if (m_marking != Marking::Terminal) {
            if (m_marking == Marking::ErrorByte && byte == ErrorByte)
                markBadByte();
            else
                out += byte;
            continue;
        }
        switch (m_markerBytesSeen) {
        case 0:
            if (byte == Mark)
                m_markerBytesSeen = 1;
            else
                out += byte;
            break;
        case 1:
            if (byte == Mark) {
                out += Mark;
                m_markerBytesSeen = 0;
            } else if (byte == '\0') {
                m_markerBytesSeen = 2;
            } else {
                // Not a marker after all: the driver never sends this, but keep both bytes.
                out += Mark;
                out += byte;
                m_markerBytesSeen = 0;
            }
            break;
        default:
            markBadByte();
            m_markerBytesSeen = 0;
            break;
        }
    }
    if (marked)
        marked->append(flags.append(out.size() - flags.size(), '\0'));
    return out;
}
