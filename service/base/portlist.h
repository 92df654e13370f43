// The serial lines a face may offer: COM1..COM16 as this user's settings resolve them, and the
// serial devices on the machine (USB adapters by their id, with the adapter's name in it).
#pragma once

#include <string>
#include <vector>

struct TComEntry {
    std::string name, path, state;
    std::string description;  // Windows: the adapter's name ("USB Serial Port"); else empty
    bool mapped = false;
};
struct TDeviceEntry {
    std::string path, target, state;
};
struct TPortList {
    std::vector<TComEntry> coms;
    std::vector<TDeviceEntry> devices;
    bool noPermission = false;
};
// COM1..COM16 as this user's settings resolve them, and the serial devices on the machine.
TPortList ListPorts();
