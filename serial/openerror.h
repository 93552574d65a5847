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

#endif // OPENERROR_H
