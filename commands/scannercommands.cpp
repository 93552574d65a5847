#include "scannercommands.h"

QString ScannerCommands::defaultCommand()
{
    QString command = QLatin1String(DefaultPiece1);
    command += QLatin1String(DefaultPiece2);
    command += QLatin1String(DefaultPiece3);
    return command;
}
