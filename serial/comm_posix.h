// POSIX implementation of CommApi. Handles are file descriptors.
#pragma once

#include <termios.h>

#include <map>
#include <mutex>

#include "commapi.h"

class PosixCommApi : public CommApi {
public:
    THandle CreateFile(const std::string& name) override;
    bool CloseHandle(THandle h) override;
    bool SetCommState(THandle h, const TDCB& dcb) override;
    bool GetCommTimeouts(THandle h, TCommTimeouts& t) override;
    bool SetCommTimeouts(THandle h, const TCommTimeouts& t) override;
    bool SetCommMask(THandle h, uint32_t mask) override;
    bool PurgeComm(THandle h, uint32_t flags) override;
    bool ReadFile(THandle h, void* buf, uint32_t count, uint32_t& got) override;
    bool WriteFile(THandle h, const void* buf, uint32_t count, uint32_t& written) override;
    bool EscapeCommFunction(THandle h, uint32_t func) override;
    bool GetCommModemStatus(THandle h, uint32_t& status) override;
    bool FlushFileBuffers(THandle h) override;

private:
    TCommTimeouts TimeoutsOf(THandle h);
    std::mutex mu_;
    std::map<int, TCommTimeouts> timeouts_;  // the system keeps these per handle on Windows
};

// Pure mappings, tested on their own.
bool BaudToSpeed(uint32_t baud, speed_t& out);
bool DcbToTermios(const TDCB& dcb, termios& t);
uint32_t ModemBitsToStatus(int tiocmBits);
