// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef CSVREADER_H
#define CSVREADER_H

#include <QByteArray>
#include <QString>

// Python's csv module as csvrows reaches it on each system (csvreader_<system>.cpp): the system's
// python3, or beside Wine, which starts no program of the system it runs on, the tests' line
// server's Python.

// Whether python3 can be started here.
bool pythonCsvReaderStarts();
// The rows of path as python3 reads them, in JSON: a list of lists of strings.
QByteArray pythonCsvRows(const QString &path);
// The same, by whatever reaches Python's csv module on this system.
QByteArray csvRowsAsJson(const QString &path);

#endif // CSVREADER_H
