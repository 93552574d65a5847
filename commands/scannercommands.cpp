// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "scannercommands.h"

QString ScannerCommands::defaultCommand()
{
    QString command = QLatin1String(DefaultPiece1);
    command += QLatin1String(DefaultPiece2);
    command += QLatin1String(DefaultPiece3);
    return command;
}
