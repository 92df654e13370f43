// The command exchange with a ЗЕНДА device: one-byte commands with echo, 72-byte blocks.
#pragma once

#include <cstdint>
#include <string>

#include "cport.h"
#include "image.h"

// What the exchange needs from whoever runs it, without knowing any window toolkit.
class TDeviceUi {
public:
    virtual ~TDeviceUi() = default;
    // Shows the anticipated failure, then ends the action (never returns normally).
    [[noreturn]] virtual void ErrorAbort(const std::string& Msg, const std::string& Caption);
    virtual void BeginWait() {}
    virtual void EndWait() {}
};

// Shows the wait cursor for its lifetime.
class TWaitScope {
public:
    explicit TWaitScope(TDeviceUi& ui) : ui_(ui) { ui_.BeginWait(); }
    ~TWaitScope() { ui_.EndWait(); }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

private:
    TDeviceUi& ui_;
};

namespace cmd {
constexpr uint8_t Write = 0;
constexpr uint8_t LeaveInit = 3;
constexpr uint8_t Read = 4;
constexpr uint8_t Model = 5;
}  // namespace cmd

namespace timeouts {
constexpr int32_t Echo = 4000;
constexpr int32_t Block = 1000;
constexpr int32_t Ack = 6000;
constexpr int32_t ModelCode = 5000;
}  // namespace timeouts

class TDeviceExchange {
public:
    TDeviceExchange(TComPort& port, TDeviceUi& ui) : port_(port), ui_(ui) {}

    void DoCommand(uint8_t Code, const uint8_t* SendBuffer, uint8_t* ReceiveBuffer);
    uint8_t ReadDeviceVersion();
    void ReadDataFromDevice(uint8_t* Image);
    // attempts: 3 for an engineer at the device; 1 where the device may be swapped meanwhile (a
    // production line): a write that got no answer may be stored, so it is never sent blind again.
    // No attempt's failure is shown: the last one is raised (std::runtime_error with the device's
    // message, or the line's own error) for the caller to say once.
    void SendInitData(const uint8_t* Image, int attempts = 3);
    void LeaveInitMode();
    // The verified read, showing nothing: after a write whose verification failed, it tells
    // what the device holds now. False when the device does not answer rightly.
    bool ReadSilently(uint8_t* Image);

    // After a refused answer: how long the line must stay silent before the next command,
    // and the most the wait may take, in ms at the port's rate.
    int QuietMs() const;
    int SettleLimitMs() const;

private:
    // Every command starts from an empty input; after a refused answer, its tail is let
    // arrive and is thrown away first, so it is never read as the next answer.
    void BeginExchange();
    void SettleLine();
    [[noreturn]] void Mismatch();

    TDeviceUi& Ui() { return quiet_ ? *quiet_ : ui_; }

    TComPort& port_;
    TDeviceUi& ui_;
    TDeviceUi* quiet_ = nullptr;  // stands in for ui_ during a silent read
    bool unsettled_ = false;  // the last answer was refused or cut short
};
