#pragma once

#include "link/serial/serialport.h"

#include <functional>
#include <memory>

// Makes the serial port for a stored port number. The link takes one of
// these so tests can put their own port on the line.
using PortFactory = std::function<std::unique_ptr<SerialPort>(int portNumber)>;

// Port 0 is the virtual analyser built into the program; n >= 1 is the
// device portDeviceName(n) names (TESSEL_COM<n>, else the platform's default).
[[nodiscard]] std::unique_ptr<SerialPort> makeLinkPort(int portNumber);
