// Windows side of the serial calls: the real communications API. Compiled only on Windows.
#ifdef _WIN32
#include <windows.h>

#include <cstring>

#include "commapi.h"

namespace {

HANDLE H(THandle h) { return reinterpret_cast<HANDLE>(h); }

class WinCommApi : public CommApi {
public:
    THandle CreateFile(const std::string& name) override
    {
        const std::string path = ResolvePortName(name);
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return h == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE_ : reinterpret_cast<THandle>(h);
    }
    bool CloseHandle(THandle h) override { return ::CloseHandle(H(h)) != 0; }
    bool SetCommState(THandle h, const TDCB& d) override
    {
        static_assert(sizeof(DCB) == sizeof(TDCB), "DCB layout");
        DCB native;
        std::memcpy(&native, &d, sizeof native);
        return ::SetCommState(H(h), &native) != 0;
    }
    bool GetCommTimeouts(THandle h, TCommTimeouts& t) override
    {
        COMMTIMEOUTS c{};
        if (!::GetCommTimeouts(H(h), &c))
            return false;
        t = {c.ReadIntervalTimeout, c.ReadTotalTimeoutMultiplier, c.ReadTotalTimeoutConstant,
             c.WriteTotalTimeoutMultiplier, c.WriteTotalTimeoutConstant};
        return true;
    }
    bool SetCommTimeouts(THandle h, const TCommTimeouts& t) override
    {
        COMMTIMEOUTS c{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                       t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
        return ::SetCommTimeouts(H(h), &c) != 0;
    }
    bool SetCommMask(THandle h, uint32_t mask) override { return ::SetCommMask(H(h), mask) != 0; }
    bool PurgeComm(THandle h, uint32_t flags) override { return ::PurgeComm(H(h), flags) != 0; }
    bool ReadFile(THandle h, void* buf, uint32_t count, uint32_t& got) override
    {
        DWORD n = 0;
        const BOOL ok = ::ReadFile(H(h), buf, count, &n, nullptr);
        got = n;
        return ok != 0;
    }
    bool WriteFile(THandle h, const void* buf, uint32_t count, uint32_t& written) override
    {
        DWORD n = 0;
        const BOOL ok = ::WriteFile(H(h), buf, count, &n, nullptr);
        written = n;
        return ok != 0;
    }
    bool EscapeCommFunction(THandle h, uint32_t func) override { return ::EscapeCommFunction(H(h), func) != 0; }
    bool GetCommModemStatus(THandle h, uint32_t& status) override
    {
        DWORD s = 0;
        if (!::GetCommModemStatus(H(h), &s))
            return false;
        status = s;
        return true;
    }
    bool FlushFileBuffers(THandle h) override { return ::FlushFileBuffers(H(h)) != 0; }
};

}  // namespace

CommApi& SystemCommApi()
{
    static WinCommApi api;
    return api;
}

int LastSystemError() { return static_cast<int>(::GetLastError()); }
#endif
