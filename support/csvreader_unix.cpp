#include "csvreader.h"

#include "csvrows.h"

bool csvReaderPresent()
{
    return pythonCsvReaderStarts();
}

QByteArray csvRowsAsJson(const QString &path)
{
    return pythonCsvRows(path);
}
