#include "link/portfactory.h"

#include "sim/virtualport.h"

std::unique_ptr<SerialPort> makeLinkPort(int portNumber)
{
    if (portNumber == 0)
        return makeVirtualAnalyserPort();
    return makeDevicePort(portDeviceName(portNumber));
}
