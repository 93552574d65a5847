// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef OPENERROR_H
#define OPENERROR_H

#include "result.h"
#include "runtimeerror.h"

#include <QSerialPort>
#include <QString>

#include <variant>

// An open that worked, or the error that says why not, for the caller to throw or to tell.
using OpenResult = Result<std::monostate, RunTimeError>;

// Why a serial port could not be opened, in words the user can act on: plug it in, the group to
// join and the command for it, or the program to close.
RunTimeError openError(const QSerialPort &port, const QString &path);

// Why the port at path is refused (reason, in Qt's words): in use by another program, or not
// permitted to this user. Each system's answer is in openerror_<system>.cpp.
RunTimeError permissionError(const QString &path, const QString &reason);

#endif // OPENERROR_H
