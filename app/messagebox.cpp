// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "messagebox.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace {

std::function<void(const QString &)> &handler()
{
    static std::function<void(const QString &)> current;
    return current;
}

} // namespace

void showMessage(const QString &text)
{
    if (handler()) {
        handler()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Pelmar"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void setMessageHandler(std::function<void(const QString &)> newHandler)
{
    handler() = std::move(newHandler);
}
