// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "csvreader.h"

#include "csvrows.h"
#include "lineserver_win.h"

bool csvReaderPresent()
{
    return LineServerConnection::present() || pythonCsvReaderStarts();
}

QByteArray csvRowsAsJson(const QString &path)
{
    if (!LineServerConnection::present())
        return pythonCsvRows(path);
    LineServerConnection server;
    const auto [answer, rows] = server.exchange('c', path.toUtf8());
    if (answer == 'e')
        qFatal("the line server's Python could not read %s: %s", qPrintable(path),
               rows.constData());
    return rows;
}
