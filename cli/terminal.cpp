#include "terminal.h"

#ifdef _WIN32
#include <windows.h>
#undef CreateFile  // windows.h's macro would rename CommApi::CreateFile in this file
#else
#include <termios.h>
#include <unistd.h>
#endif

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "commapi.h"
#include "base/settingsstore.h"
#include "zenda.h"

namespace fs = std::filesystem;

// ------------------------------------------------------------------ progress

TProgress::TProgress() : thread_([this] { Run(); }) {}

TProgress::~TProgress()
{
    {
        std::lock_guard<std::mutex> g(mu_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void TProgress::Waiting(const std::string& what)
{
    std::lock_guard<std::mutex> g(mu_);
    what_ = what;
    since_ = std::chrono::steady_clock::now();
}

void TProgress::Clear()
{
    std::lock_guard<std::mutex> g(mu_);
    what_.clear();
    if (shown_)
        std::fprintf(stderr, "\r\033[K");
    shown_ = false;
}

void TProgress::Run()
{
    std::unique_lock<std::mutex> g(mu_);
    while (!stop_) {
        cv_.wait_for(g, std::chrono::milliseconds(200));
        if (what_.empty())
            continue;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - since_).count();
        if (s < 0.5)  // an answer in a moment needs no words
            continue;
        std::fprintf(stderr, "\r\033[Kzenda: %s",
                     Z::tr("%1... %2 s").arg(QString::fromStdString(what_)).arg(s, 0, 'f', 1).toUtf8().constData());
        std::fflush(stderr);
        shown_ = true;
    }
}

// ------------------------------------------------------------------ the line

namespace {
const auto kStart = std::chrono::system_clock::now();

std::string Awaited(uint8_t code, int32_t count)
{
    QString what = Z::tr("waiting for the device");
    if (count > 1)
        what = Z::tr("waiting for the device's echo of the image (up to 4 s)");
    else if (code == 0)
        what = Z::tr("writing the image");
    else if (code == 3)
        what = Z::tr("waiting for the device to leave initialization mode (up to 4 s)");
    else if (code == 4)
        what = Z::tr("waiting for the device's image (up to 4 s)");
    else if (code == 5)
        what = Z::tr("waiting for the device's model (up to 6 s)");
    return what.toStdString();
}
}  // namespace

void TLineObserver::Line(const char* dir, const uint8_t* bytes, int32_t count, TimePoint at)
{
    const double ms = std::chrono::duration<double, std::milli>(at - kStart).count();
    std::string s;
    char h[4];
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(h, sizeof h, " %02X", bytes[i]);
        s += h;
    }
    if (progress)
        progress->Clear();
    std::fprintf(stderr, "%10.3f %s%s\n", ms, dir, s.c_str());
}

void TLineObserver::OnWrite(const uint8_t* bytes, int32_t count, TimePoint at)
{
    if (next)
        next->OnWrite(bytes, count, at);
    if (trace)
        Line("->", bytes, count, at);
    if (progress)
        progress->Waiting(Awaited(bytes[0], count));
}

void TLineObserver::OnRead(const uint8_t* bytes, int32_t count, TimePoint at)
{
    if (next)
        next->OnRead(bytes, count, at);
    if (progress)
        progress->Clear();
    if (trace)
        Line("<-", bytes, count, at);
}

void TLineObserver::OnError(int32_t code, int systemError, TimePoint at)
{
    if (next)
        next->OnError(code, systemError, at);
    if (progress)
        progress->Clear();
    if (trace) {
        const double ms = std::chrono::duration<double, std::milli>(at - kStart).count();
#ifdef _WIN32  // GetLastError's codes
        std::fprintf(stderr, "%10.3f !! %s\n", ms,
                     Z::tr("driver error %1 (system error %2)").arg(code).arg(systemError).toUtf8().constData());
#else
        std::fprintf(stderr, "%10.3f !! %s\n", ms,
                     Z::tr("driver error %1 (system error %2: %3)")
                         .arg(code)
                         .arg(systemError)
                         .arg(QString::fromLocal8Bit(std::strerror(systemError)))
                         .toUtf8()
                         .constData());
#endif
    }
}

#ifdef _WIN32
bool IsTerminal(int fd)
{
    // Not _isatty: it is true for NUL too (a character device), so "zenda init < NUL" would ask.
    // Only a console has a console mode.
    const DWORD which = fd == 0 ? STD_INPUT_HANDLE : fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void PrepareConsole()
{
    SetConsoleOutputCP(CP_UTF8);
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE h = GetStdHandle(which);
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode))
            SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

void FlushTerminalInput() { FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE)); }
#else
bool IsTerminal(int fd) { return isatty(fd) != 0; }

void PrepareConsole() {}

void FlushTerminalInput() { tcflush(0, TCIFLUSH); }
#endif

namespace {
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void OnStopSignal(int sig)
{
    if (stopSignal != 0) {  // the second one ends the program at once
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    stopSignal = sig;
#ifdef _WIN32
    std::signal(sig, OnStopSignal);  // Windows resets the handler on each signal
#endif
}
}  // namespace

void CatchStopSignals()
{
#ifdef _WIN32
    for (int sig : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(sig, OnStopSignal);
#else
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a question waiting for its answer ends as "no"
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
#endif
}

int StopSignal() { return stopSignal; }
