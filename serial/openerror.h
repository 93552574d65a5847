#ifndef OPENERROR_H
#define OPENERROR_H

#include "runtimeerror.h"

#include <QSerialPort>

// Why a serial port could not be opened, in words the user can act on: plug it in, the group to
// join and the command for it, or the program to close.
RunTimeError openError(const QSerialPort &port, const QString &path);

#endif // OPENERROR_H
