// The operating system's serial calls, in the shape of the Windows communications API,
// behind one interface: POSIX (termios), Windows (the real calls) and a test fake.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using THandle = intptr_t;
constexpr THandle INVALID_HANDLE_VALUE_ = -1;

constexpr uint32_t MAXDWORD_ = 0xFFFFFFFFu;

// Device control block, field for field as the system's (28 bytes).
struct TDCB {
    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    uint32_t Flags =
        0;  // fBinary bit 0, fParity bit 1, fOutxCtsFlow bit 2, fDtrControl bits 4-5, fRtsControl bits 12-13
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};
static_assert(sizeof(TDCB) == 28, "DCB layout");

// Names of our own: windows.h defines the system's as macros.
namespace dcb {
constexpr uint32_t fBinary = 1u << 0;
constexpr uint32_t fParity = 1u << 1;
constexpr uint32_t fOutxCtsFlow = 1u << 2;
constexpr int DtrShift = 4;
constexpr int RtsShift = 12;
constexpr uint32_t DtrControlDisable = 0, DtrControlEnable = 1;
constexpr uint32_t RtsControlDisable = 0, RtsControlEnable = 1, RtsControlToggle = 3;
inline uint32_t DtrControl(const TDCB& d) { return (d.Flags >> DtrShift) & 3u; }
inline uint32_t RtsControl(const TDCB& d) { return (d.Flags >> RtsShift) & 3u; }
}  // namespace dcb

struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const TCommTimeouts&) const = default;
};

constexpr uint32_t PURGE_TXABORT_ = 0x01, PURGE_RXABORT_ = 0x02, PURGE_TXCLEAR_ = 0x04, PURGE_RXCLEAR_ = 0x08;
constexpr uint32_t SETRTS_ = 3, CLRRTS_ = 4, SETDTR_ = 5, CLRDTR_ = 6;
constexpr uint32_t MS_CTS_ON_ = 0x10, MS_DSR_ON_ = 0x20, MS_RING_ON_ = 0x40, MS_RLSD_ON_ = 0x80;

class CommApi {
public:
    virtual ~CommApi() = default;
    // Opens "COMn" (or a path) for exclusive read/write use; -1 on failure.
    virtual THandle CreateFile(const std::string& name) = 0;
    virtual bool CloseHandle(THandle h) = 0;
    virtual bool SetCommState(THandle h, const TDCB& dcb) = 0;
    virtual bool GetCommTimeouts(THandle h, TCommTimeouts& t) = 0;
    virtual bool SetCommTimeouts(THandle h, const TCommTimeouts& t) = 0;
    virtual bool SetCommMask(THandle h, uint32_t mask) = 0;
    virtual bool PurgeComm(THandle h, uint32_t flags) = 0;
    // Honours the time-outs in force; true also when the time-out ended it early.
    virtual bool ReadFile(THandle h, void* buf, uint32_t count, uint32_t& got) = 0;
    virtual bool WriteFile(THandle h, const void* buf, uint32_t count, uint32_t& written) = 0;
    virtual bool EscapeCommFunction(THandle h, uint32_t func) = 0;
    virtual bool GetCommModemStatus(THandle h, uint32_t& status) = 0;
    virtual bool FlushFileBuffers(THandle h) = 0;
};

// The real calls of this platform (one object for the process).
CommApi& SystemCommApi();
// The system's number for the last failure of this thread (errno; GetLastError on Windows).
int LastSystemError();

// Maps a port name such as "COM3" to what the system opens. The program installs one
// that consults its settings; the default maps "COMn" to /dev/ttyS(n-1) on POSIX and a
// name starting with "/" to itself.
using PortNameResolver = std::function<std::string(const std::string& name)>;
void SetPortNameResolver(PortNameResolver resolver);
std::string ResolvePortName(const std::string& name);
std::string DefaultPortPath(const std::string& name);
