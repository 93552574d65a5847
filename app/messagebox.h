// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef MESSAGEBOX_H
#define MESSAGEBOX_H

#include <QString>

#include <functional>

// The application's modal message box: one text, one OK button, caption "Pelmar". It returns
// when the user has closed it.
void showMessage(const QString &text);

// Tests put a function of their own in place of the box; an empty function puts the box back.
void setMessageHandler(std::function<void(const QString &)> handler);

#endif // MESSAGEBOX_H
