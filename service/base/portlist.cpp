#include "base/portlist.h"

#ifdef _WIN32
#include <windows.h>
// clang-format off: initguid.h defines the class GUIDs that devguid.h names
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on
#include <map>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "commapi.h"
#include "base/settingsstore.h"

namespace fs = std::filesystem;

// ------------------------------------------------------------------ ports

namespace {
#ifdef _WIN32
// The ports' names as the device manager shows them ("USB Serial Port (COM3)"), by COM name:
// which adapter a COMn is.
std::map<std::string, std::string> FriendlyNames()
{
    std::map<std::string, std::string> names;
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        wchar_t name[256] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(name),
                                               sizeof(name) - sizeof(wchar_t), nullptr))
            continue;
        char utf8[768] = {};
        WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof(utf8) - 1, nullptr, nullptr);
        const std::string text = utf8;
        const auto open = text.rfind("(COM");
        const auto close = text.find(')', open == std::string::npos ? 0 : open);
        if (open != std::string::npos && close != std::string::npos)
            names[text.substr(open + 1, close - open - 1)] = text.substr(0, open == 0 ? 0 : open - 1);
    }
    SetupDiDestroyDeviceInfoList(set);
    return names;
}

std::string State(const std::string& name, bool&)
{
    const THandle h = SystemCommApi().CreateFile(name);
    if (h != INVALID_HANDLE_VALUE_) {
        SystemCommApi().CloseHandle(h);
        return "can be opened";
    }
    switch (LastSystemError()) {
    case ERROR_FILE_NOT_FOUND: return "missing";
    case ERROR_ACCESS_DENIED: return "busy (open in another program)";
    }
    return "cannot be opened";
}
#else
// "ok", "no permission", "busy or not a serial line", "missing".
std::string State(const std::string& path, bool& noPermission)
{
    if (path.empty())
        return "not a path";
    if (::access(path.c_str(), F_OK) != 0)
        return "missing";
    if (::access(path.c_str(), R_OK | W_OK) != 0) {
        noPermission = true;
        return "no permission";
    }
    const THandle h = SystemCommApi().CreateFile(path);
    if (h == INVALID_HANDLE_VALUE_)
        return "cannot be opened (busy, or not a serial line)";
    SystemCommApi().CloseHandle(h);
    return "can be opened";
}

bool IsRealUart(const std::string& name)
{
    // A /dev/ttyS that the kernel found hardware for has a device link with a driver other
    // than the placeholder 8250 ports.
    const fs::path dev = fs::path("/sys/class/tty") / name / "device";
    std::error_code ec;
    if (!fs::exists(dev, ec))
        return false;
    const fs::path driver = fs::read_symlink(dev / "driver", ec);
    if (ec)
        return false;
    const std::string d = driver.filename().string();
    if (d != "serial8250")
        return true;
    // serial8250 lists its placeholders too; a real one has an I/O port or memory and a type.
    FILE* f = std::fopen((fs::path("/sys/class/tty") / name / "type").c_str(), "r");
    int type = 0;
    if (f) {
        if (std::fscanf(f, "%d", &type) != 1)
            type = 0;
        std::fclose(f);
    }
    return type != 0;
}
#endif
}  // namespace

TPortList ListPorts()
{
    TPortList list;
#ifdef _WIN32
    const std::map<std::string, std::string> friendly = FriendlyNames();
#endif
    for (int n = 1; n <= 16; ++n) {
        TComEntry e;
        e.name = "COM" + std::to_string(n);
        std::string mapped;
        e.mapped = PortMapping(e.name, mapped);
        e.path = ResolvePortName(e.name);
#ifdef _WIN32
        e.state = State(e.name, list.noPermission);  // opened by its name, as the programs do
        if (const auto f = friendly.find(e.name); f != friendly.end())
            e.description = f->second;
#else
        e.state = State(e.path, list.noPermission);
#endif
        list.coms.push_back(e);
    }
#ifndef _WIN32
    std::error_code ec;
    std::vector<std::string> found;
    if (fs::is_directory("/dev/serial/by-id", ec))
        for (const auto& d : fs::directory_iterator("/dev/serial/by-id", ec))
            found.push_back(d.path().string());
    for (const auto& d : fs::directory_iterator("/dev", ec)) {
        const std::string name = d.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0 || (name.rfind("ttyS", 0) == 0 && IsRealUart(name)))
            found.push_back(d.path().string());
    }
    std::sort(found.begin(), found.end());
    for (const auto& p : found) {
        TDeviceEntry e;
        e.path = p;
        if (fs::is_symlink(p, ec))
            e.target = fs::canonical(p, ec).string();
        e.state = State(p, list.noPermission);
        list.devices.push_back(e);
    }
#endif
    return list;
}

