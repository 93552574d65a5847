// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvrecords.h"

#include <utility>

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

} // namespace

// Takes more of the file into the buffer, dropping what records before have used; false at the
// file's end or on a failed read.
bool CsvRecords::fill()
{
    if (m_atEnd)
        return false;
    m_buffer.remove(0, m_start);
    m_start = 0;
    const qsizetype had = m_buffer.size();
    m_buffer.resize(had + ChunkBytes);
    const qint64 got = m_file.read(m_buffer.data() + had, ChunkBytes);
    m_buffer.resize(had + std::max<qint64>(got, 0));
    if (got <= 0)
        m_atEnd = true;
    return got > 0;
}

CsvRecords::Outcome CsvRecords::next()
{
    bool quoted = false;
    qsizetype at = m_start;
    qint64 lineEnds = 0;
    for (;;) {
        if (at == m_buffer.size()) {
            const qsizetype scanned = at - m_start;
            if (!fill()) {
                if (m_file.error() != QFileDevice::NoError)
                    return Outcome::ReadFailed;
                m_line = m_nextLine;
                if (m_start == m_buffer.size())
                    return Outcome::End;
                m_raw = QByteArrayView(m_buffer).sliced(m_start);
                return Outcome::CutShort;
            }
            at = m_start + scanned;
            if (scanned > MaxRecordBytes) {
                m_line = m_nextLine;
                return Outcome::TooLong;
            }
            continue;
        }
        const char c = m_buffer.at(at);
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\n') {
            ++lineEnds;
            if (!quoted)
                break;
        }
        ++at;
    }
    m_line = m_nextLine;
    m_nextLine += lineEnds;
    const qsizetype end = at > m_start && m_buffer.at(at - 1) == '\r' ? at - 1 : at;
    m_raw = QByteArrayView(m_buffer).sliced(m_start, end - m_start);
    splitFields(end);
    m_start = at + 1;
    return Outcome::Record;
}

// A quote inside a quoted field is written twice; the unquoted text of such fields is gathered in
// m_unquoted, so the views are made once it has stopped growing.
void CsvRecords::splitFields(qsizetype end)
{
    struct Span
    {
        bool inUnquoted;
        qsizetype from;
        qsizetype size;
    };
    std::vector<Span> spans;
    m_unquoted.clear();
    qsizetype at = m_start;
    for (;;) {
        if (at < end && m_buffer.at(at) == '"') {
            const qsizetype from = m_unquoted.size();
            for (++at; at < end; ++at) {
                if (m_buffer.at(at) == '"') {
                    if (at + 1 < end && m_buffer.at(at + 1) == '"')
                        ++at;
                    else
                        break;
                }
                m_unquoted += m_buffer.at(at);
            }
            ++at;
            // Anything between the closing quote and the comma belongs to the cell as it stands.
            while (at < end && m_buffer.at(at) != ',')
                m_unquoted += m_buffer.at(at++);
            spans.push_back({true, from, m_unquoted.size() - from});
        } else {
            const qsizetype from = at;
            while (at < end && m_buffer.at(at) != ',')
                ++at;
            spans.push_back({false, from, at - from});
        }
        if (at >= end)
            break;
        ++at; // the comma
    }
    m_fields.clear();
    for (const Span &span : spans) {
        const QByteArray &source = span.inUnquoted ? m_unquoted : m_buffer;
        m_fields.emplace_back(source.constData() + span.from, span.size);
    }
}
