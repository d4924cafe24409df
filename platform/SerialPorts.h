// The serial ports of this machine and how a port name becomes a device path.
//
// A port is named by its device name ("ttyUSB0", "ttyACM0", "ttyS0"), by the name of a symbolic
// link in the folder ports/ beside the settings file (a stable alias of a /dev/serial/by-id
// device, or the pseudo-terminal of the simulated module), by "COMn" (the traditional alias of
// /dev/ttyS(n-1)), or by a path.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct TSerialPortRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string dev = "/dev";
  std::string ports;  // empty: SettingsFolder() + "ports"
};

// ttyUSB*, ttyACM*, ttyS* with a UART behind them, and the links in ports/ (dangling ones
// left out), each once, in natural order (ttyUSB2 before ttyUSB10).
std::vector<std::string> ListSerialPorts(const TSerialPortRoots& roots = {});

// The device path a port name stands for.
std::string ResolvePortName(const std::string& name, const TSerialPortRoots& roots = {});

// Natural order: runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace platform
