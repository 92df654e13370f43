// What zenda shows on the terminal besides its results: the trace of the line, the progress
// of a long wait, and the list of serial ports.
#pragma once

#include "base/portlist.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cport.h"

// "Waiting for ..." on standard error while an answer is late (only on a terminal).
class TProgress {
public:
    TProgress();
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;
    void Waiting(const std::string& what);  // what the line waits for, from now
    void Clear();                           // the answer came, or something else is said

private:
    void Run();
    std::mutex mu_;
    std::condition_variable cv_;
    std::string what_;
    std::chrono::steady_clock::time_point since_;
    bool shown_ = false, stop_ = false;
    std::thread thread_;
};

// The engine's port observer for the command line: --trace and the progress.
class TLineObserver : public TPortObserver {
public:
    bool trace = false;
    TProgress* progress = nullptr;
    TPortObserver* next = nullptr;  // the action's traffic record
    void OnWrite(const uint8_t* bytes, int32_t count, TimePoint at) override;
    void OnRead(const uint8_t* bytes, int32_t count, TimePoint at) override;
    void OnError(int32_t code, int systemError, TimePoint at) override;

private:
    void Line(const char* dir, const uint8_t* bytes, int32_t count, TimePoint at);
};


// Whether a standard stream (0, 1, 2) is a terminal or console.
bool IsTerminal(int fd);
// On Windows: UTF-8 output and the escape sequences of the progress line; elsewhere nothing.
void PrepareConsole();
// Drops what was typed before a question, so that a key pressed early never answers it.
void FlushTerminalInput();

// SIGINT, SIGTERM, SIGHUP (Ctrl+C, Ctrl+Break on Windows): the first only asks the program
// to stop after the exchange in progress; the second ends it at once.
void CatchStopSignals();
int StopSignal();  // the first signal caught, 0 when none
