#include "dmxWire.h"

#include <windows.h>

// Windows lends a port to one program at a time.
bool dmxWire::lockDevice()
{
    return true;
}

// Qt's answer, which names a driver without a break, is all there is.
dmxWire::breakSupport dmxWire::driverBreakSupport()
{
    return breakSupport::unknown;
}

qint64 dmxWire::outputQueueBytes() const
{
    DWORD errors = 0;
    COMSTAT status = {};
    return ClearCommError(port.handle(), &errors, &status) ? qint64(status.cbOutQue) : -1;
}
