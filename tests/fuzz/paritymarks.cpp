// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

// ParityMarkDecoder gives the same characters however the bytes are split into reads, never more
// characters than bytes, and passes bytes with no marker through unchanged.

#include "paritymarks.h"
#include "fuzzinput.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string rawText = input.ConsumeRandomLengthString(size);
    const QByteArray raw(rawText.data(), qsizetype(rawText.size()));
    std::vector<qsizetype> cuts {0, raw.size()};
    while (!raw.isEmpty() && input.remaining_bytes() > 0)
        cuts.push_back(input.ConsumeIntegralInRange<qsizetype>(0, raw.size()));
    std::sort(cuts.begin(), cuts.end());

    const QString shown = QString::fromLatin1(raw.toHex(' '));
    const QByteArray whole = ParityMarkDecoder().decode(raw);
    ParityMarkDecoder decoder;
    QByteArray pieces;
    for (std::size_t i = 1; i < cuts.size(); ++i)
        pieces += decoder.decode(QByteArrayView(raw).sliced(cuts[i - 1], cuts[i] - cuts[i - 1]));
    require(pieces == whole, "reads split anywhere decode as one", shown);
    require(whole.size() <= raw.size(), "never more characters than bytes", shown);
    if (!raw.contains(char(0xFF)))
        require(whole == raw, "bytes without a marker pass unchanged", shown);
    return 0;
}
