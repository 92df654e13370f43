// The per-user settings store and the COM-name resolver that reads it.
#pragma once

#include <QSettings>

#include <memory>

// The store: the registry key on Windows, a file under $XDG_CONFIG_HOME on Linux.
std::unique_ptr<QSettings> OpenSettings();
// "COMn" -> the path in Ports/COMn as written when the store has one, else the system's default.
void InstallSettingsPortResolver();

// The port and rate the window last chose: ComNumber (1 = COM1) and BaudRate (0 = 4800,
// 1 = 9600). A value that is missing or none of these gives -1.
int StoredComNumber();
int StoredBaudRate();
// Ports/COMn := path; an empty path removes the mapping.
void SetPortMapping(const std::string& com, const std::string& path);
// Whether the store maps this COM name (and to what, as written).
bool PortMapping(const std::string& com, std::string& path);
