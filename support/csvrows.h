// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef CSVROWS_H
#define CSVROWS_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The session log as others read it: the tests and the benchmarks check what Pelmar wrote with a
// reader that is not Pelmar's own.

// Whether Python's csv module can be reached here: the system's python3, or under Wine the one
// of the tests' line server.
bool csvReaderPresent();

// The rows of a CSV file as Python's csv module reads them, strictly.
QList<QStringList> csvRowsOf(const QString &path);

// The bytes a received cell stands for, its escapes undone.
QByteArray unescaped(const QString &cell);

#endif // CSVROWS_H
