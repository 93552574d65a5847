// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvreader.h"

#include "csvrows.h"

bool csvReaderPresent()
{
    return pythonCsvReaderStarts();
}

QByteArray csvRowsAsJson(const QString &path)
{
    return pythonCsvRows(path);
}
