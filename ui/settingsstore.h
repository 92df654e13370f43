// The per-user settings store and the COM-name resolver that reads it.
#pragma once

#include <QSettings>

#include <memory>

// The store: the registry key on Windows, a file under $XDG_CONFIG_HOME on Linux.
std::unique_ptr<QSettings> OpenSettings();
// "COMn" -> the path in Ports/COMn as written when the store has one, else the system's default.
void InstallSettingsPortResolver();
