// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "openerror.h"

// Windows refuses a COM port that another program has open with "access denied"; a user may open
// any port that is free.
RunTimeError permissionError(const QString &path, const QString &reason)
{
    return RunTimeError(RunTimeError::PortAlreadyOpen,
                        QStringLiteral("The serial port %1 is in use by another program (%2). "
                                       "Close that program, or choose another port.")
                            .arg(path, reason));
}
