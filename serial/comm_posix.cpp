// POSIX side of the serial calls: termios, poll() against a monotonic deadline, flock.
#include "comm_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

int Fd(THandle h) { return static_cast<int>(h); }

// The line has no such control (a pty, a bridge): not a reason to fail.
bool UnsupportedIoctl() { return errno == ENOTTY || errno == EINVAL || errno == ENOTSUP; }

}  // namespace

bool BaudToSpeed(uint32_t baud, speed_t& out)
{
    static const struct {
        uint32_t baud;
        speed_t speed;
    } table[] = {
        {50, B50},         {75, B75},       {110, B110},     {134, B134},     {150, B150},       {200, B200},
        {300, B300},       {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},     {4800, B4800},
        {9600, B9600},     {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B921600
        {921600, B921600},
#endif
    };
    for (const auto& e : table)
        if (e.baud == baud) {
            out = e.speed;
            return true;
        }
    return false;
}

bool DcbToTermios(const TDCB& d, termios& t)
{
    speed_t speed;
    if (!BaudToSpeed(d.BaudRate, speed))
        return false;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    switch (d.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return false;
    }
    switch (d.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
#endif
    default: return false;
    }
    if (d.Flags & dcb::fParity)
        t.c_iflag |= INPCK;
    else if (d.Parity != 0)
        t.c_iflag |= IGNPAR;
    // POSIX has no one and a half stop bits: both 1.5 and 2 become CSTOPB.
    if (d.StopBits == 1 || d.StopBits == 2)
        t.c_cflag |= CSTOPB;
    if (d.Flags & dcb::fOutxCtsFlow)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return true;
}

uint32_t ModemBitsToStatus(int bits)
{
    uint32_t s = 0;
    if (bits & TIOCM_CTS)
        s |= MS_CTS_ON_;
    if (bits & TIOCM_DSR)
        s |= MS_DSR_ON_;
    if (bits & TIOCM_RNG)
        s |= MS_RING_ON_;
    if (bits & TIOCM_CAR)
        s |= MS_RLSD_ON_;
    return s;
}

TCommTimeouts PosixCommApi::TimeoutsOf(THandle h)
{
    std::lock_guard<std::mutex> g(mu_);
    auto it = timeouts_.find(Fd(h));
    return it == timeouts_.end() ? TCommTimeouts{} : it->second;
}

THandle PosixCommApi::CreateFile(const std::string& name)
{
    const std::string path = ResolvePortName(name);
    if (path.empty())
        return INVALID_HANDLE_VALUE_;
    // O_NOCTTY: a hang-up must not signal us; O_NONBLOCK: do not wait for carrier.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return INVALID_HANDLE_VALUE_;
    if (fd <= 2) {  // a closed standard stream: the port must not receive what is printed there
        const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        if (high < 0)
            return INVALID_HANDLE_VALUE_;
        fd = high;
    }
    termios probe;
    if (::tcgetattr(fd, &probe) != 0) {  // not a terminal (a directory, a plain file)
        ::close(fd);
        return INVALID_HANDLE_VALUE_;
    }
    // TIOCEXCL does not stop root; flock does, also inside one process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return INVALID_HANDLE_VALUE_;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 && !UnsupportedIoctl()) {
        ::close(fd);
        return INVALID_HANDLE_VALUE_;
    }
    std::lock_guard<std::mutex> g(mu_);
    timeouts_[fd] = TCommTimeouts{};
    return fd;
}

bool PosixCommApi::CloseHandle(THandle h)
{
    const int fd = Fd(h);
    if (fd < 0)
        return false;
    {
        std::lock_guard<std::mutex> g(mu_);
        timeouts_.erase(fd);
    }
    ::ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0;  // also drops the flock
}

bool PosixCommApi::SetCommState(THandle h, const TDCB& d)
{
    const int fd = Fd(h);
    termios t;
    if (::tcgetattr(fd, &t) != 0)
        return false;
    if (!DcbToTermios(d, t))
        return false;
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return false;
    // tcsetattr succeeds when any part applied: compare what the system now holds.
    termios back;
    if (::tcgetattr(fd, &back) != 0)
        return false;
    const tcflag_t cmask = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    if ((back.c_cflag & cmask) != (t.c_cflag & cmask) || cfgetospeed(&back) != cfgetospeed(&t) ||
        (back.c_lflag & (ICANON | ECHO | ISIG)) != 0)
        return false;
    // DTR and RTS as the block asks; lines without modem control (a pty) fail quietly.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ::ioctl(fd, dcb::DtrControl(d) == dcb::DtrControlEnable ? TIOCMBIS : TIOCMBIC, &dtr);
    ::ioctl(fd, dcb::RtsControl(d) == dcb::RtsControlEnable ? TIOCMBIS : TIOCMBIC, &rts);
    return true;
}

bool PosixCommApi::GetCommTimeouts(THandle h, TCommTimeouts& t)
{
    std::lock_guard<std::mutex> g(mu_);
    auto it = timeouts_.find(Fd(h));
    if (it == timeouts_.end())
        return false;
    t = it->second;
    return true;
}

bool PosixCommApi::SetCommTimeouts(THandle h, const TCommTimeouts& t)
{
    std::lock_guard<std::mutex> g(mu_);
    auto it = timeouts_.find(Fd(h));
    if (it == timeouts_.end())
        return false;
    it->second = t;
    return true;
}

bool PosixCommApi::SetCommMask(THandle h, uint32_t)
{
    // No event reporting in a synchronous design; only the handle is checked.
    std::lock_guard<std::mutex> g(mu_);
    return timeouts_.count(Fd(h)) != 0;
}

bool PosixCommApi::PurgeComm(THandle h, uint32_t flags)
{
    const bool rx = flags & PURGE_RXCLEAR_, tx = flags & PURGE_TXCLEAR_;
    if (!rx && !tx)
        return ::fcntl(Fd(h), F_GETFD) != -1;  // the abort flags have nothing to cancel
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(Fd(h), which) == 0;
}

bool PosixCommApi::ReadFile(THandle h, void* buf, uint32_t count, uint32_t& got)
{
    got = 0;
    const int fd = Fd(h);
    const TCommTimeouts to = TimeoutsOf(h);
    const bool immediate =
        to.ReadIntervalTimeout == MAXDWORD_ && to.ReadTotalTimeoutMultiplier == 0 && to.ReadTotalTimeoutConstant == 0;
    const uint64_t totalMs = uint64_t(to.ReadTotalTimeoutMultiplier) * count + to.ReadTotalTimeoutConstant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    auto* p = static_cast<unsigned char*>(buf);
    while (got < count) {
        int wait = 0;
        if (!immediate) {
            if (totalMs == 0) {
                wait = -1;
            } else {
                // Round up so that poll never returns before the deadline.
                const auto left =
                    std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
                if (left <= 0)
                    break;
                const long long ms = (left + 999) / 1000;
                wait = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
            }
        }
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, wait);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0) {
            if (immediate || totalMs == 0)
                break;
            continue;  // the loop head decides whether time is up
        }
        if (pfd.revents & POLLIN) {
            const ssize_t k = ::read(fd, p + got, count - got);
            if (k < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return false;
            }
            if (k == 0)
                return false;  // readable but empty: the line hung up
            got += static_cast<uint32_t>(k);
            continue;
        }
        if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))
            return false;  // the line is gone
    }
    return true;
}

bool PosixCommApi::WriteFile(THandle h, const void* buf, uint32_t count, uint32_t& written)
{
    written = 0;
    const int fd = Fd(h);
    const auto* p = static_cast<const unsigned char*>(buf);
    while (written < count) {
        const ssize_t k = ::write(fd, p + written, count - written);
        if (k > 0) {
            written += static_cast<uint32_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && errno == EAGAIN) {
            pollfd pfd{fd, POLLOUT, 0};
            const int r = ::poll(&pfd, 1, -1);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

bool PosixCommApi::EscapeCommFunction(THandle h, uint32_t func)
{
    int bits = 0;
    unsigned long req = 0;
    switch (func) {
    case SETDTR_:
        bits = TIOCM_DTR;
        req = TIOCMBIS;
        break;
    case CLRDTR_:
        bits = TIOCM_DTR;
        req = TIOCMBIC;
        break;
    case SETRTS_:
        bits = TIOCM_RTS;
        req = TIOCMBIS;
        break;
    case CLRRTS_:
        bits = TIOCM_RTS;
        req = TIOCMBIC;
        break;
    default: return false;
    }
    return ::ioctl(Fd(h), req, &bits) == 0;
}

bool PosixCommApi::GetCommModemStatus(THandle h, uint32_t& status)
{
    int bits = 0;
    if (::ioctl(Fd(h), TIOCMGET, &bits) != 0)
        return false;
    status = ModemBitsToStatus(bits);
    return true;
}

bool PosixCommApi::FlushFileBuffers(THandle h)
{
    for (;;) {
        if (::tcdrain(Fd(h)) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

CommApi& SystemCommApi()
{
    static PosixCommApi api;
    return api;
}

int LastSystemError() { return errno; }
