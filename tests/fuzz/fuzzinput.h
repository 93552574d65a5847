// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The texts a run of fuzz bytes can stand for: UTF-8 as typed, Latin-1 as the port reads it (one
// character per byte), and raw UTF-16, which brings lone surrogates and every non-Latin digit.
inline QList<QString> textsFrom(const std::uint8_t *data, std::size_t size)
{
    const auto *bytes = reinterpret_cast<const char *>(data);
    QString utf16(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(utf16.data(), data, size / 2 * sizeof(QChar));
    return {QString::fromUtf8(bytes, qsizetype(size)), QString::fromLatin1(bytes, qsizetype(size)),
            utf16};
}

// A broken property: say which and on what text, then abort so that libFuzzer keeps the input.
inline void require(bool holds, const char *property, const QString &text)
{
    if (holds)
        return;
    std::fprintf(stderr, "\nBROKEN: %s\nTEXT (UTF-8, %lld characters): \"%s\"\n", property,
                 static_cast<long long>(text.size()), text.left(200).toUtf8().constData());
    std::abort();
}

#endif // FUZZINPUT_H
