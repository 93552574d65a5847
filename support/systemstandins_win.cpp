#include "systemstandins.h"

// Windows has no serial settings that Pelmar asks of the driver, and no folders of ttys and
// their links: nothing is stood in for.
const int SerialDriver::OtherFlags = 0;
const int SerialDriver::LowLatency = 0;

SerialDriver::SerialDriver() : flags(OtherFlags) { }

SerialDriver::~SerialDriver() = default;

bool SerialDriver::present()
{
    return false;
}

bool portsAreDeviceFiles()
{
    return false;
}

bool byteFFMarksParityErrors()
{
    return true;
}

bool displayIsNamedByTheEnvironment()
{
    return false;
}

void useSysClassTty(const QString &) { }

void useDevSerial(const QString &) { }
