// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "startedwindow.h"

#include "readlist.h"

#include <QAbstractItemView>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTest>

StartedWindow::StartedWindow(const QByteArray &sentBeforeStart)
{
    form.Comm1.setDevicePath(scanner.devicePath());
    scanner.write(sentBeforeStart);
    setMessageHandler([this](const QString &text) { messages << text; });
    try {
        form.load();
    } catch (...) {
        setMessageHandler({});
        throw;
    }
    scanner.readSent(); // load sends nothing; whatever came is not the caller's
}

StartedWindow::~StartedWindow()
{
    setMessageHandler({});
    setTimeOfDaySource({});
}

int StartedWindow::lines() const
{
    return form.List1->model()->rowCount();
}

QString StartedWindow::line(int row) const
{
    return form.List1->model()->index(row, 0).data().toString();
}

QStringList StartedWindow::linesOldestFirst() const
{
    QStringList all;
    for (int row = lines() - 1; row >= 0; --row)
        all << line(row);
    return all;
}

ReadList &StartedWindow::reads() const
{
    return *qobject_cast<ReadList *>(form.List1->model());
}

void StartedWindow::read(const QByteArray &code, float at)
{
    const int before = lines();
    setTimeOfDaySource([at] { return at; });
    scanner.write(code + "\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(lines() > before, 2000);
}
