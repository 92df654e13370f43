// A device session: the one serial port and the exchange over it. Every face (the window,
// the command line) opens, reads and writes a device through this, never through the port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cport.h"
#include "exchange.h"
#include "image.h"

class TDeviceSession {
public:
    // The hooks show what the exchange reports; api: the system's calls, or a test's.
    explicit TDeviceSession(TDeviceUi& ui, CommApi* api = nullptr);

    // Opens COM(index + 1) at the rate; a failure closes nothing else and raises.
    void Open(int32_t comIndex, int32_t baudRate);
    void Reopen();
    void Close();  // does nothing when closed
    bool IsOpen() const { return port_.IsOpen(); }
    int32_t BaudRate() const { return port_.BaudRate; }
    // Ends the action with "COM-Порт не открыт" when the port is closed.
    void CheckOpen();

    // The device operations, each verified as the exchange verifies it. When the last
    // failure was the line itself (an adapter pulled and plugged back), the first of them
    // opens the port afresh, once; see ReviveLine.
    uint8_t ReadDeviceVersion()
    {
        ReviveLine();
        return exchange_.ReadDeviceVersion();
    }
    void ReadDataFromDevice(TImageBuffer& image)
    {
        ReviveLine();
        exchange_.ReadDataFromDevice(image.Image());
    }
    void SendInitData(const TImageBuffer& image, int attempts = 3)
    {
        ReviveLine();
        exchange_.SendInitData(image.Image(), attempts);
    }
    void LeaveInitMode()
    {
        ReviveLine();
        exchange_.LeaveInitMode();
    }
    bool ReadSilently(TImageBuffer& image)
    {
        ReviveLine();
        return exchange_.ReadSilently(image.Image());
    }

    // After a write whose verification failed three times: it may still have reached the
    // device. One silent verified read tells which image the device holds.
    enum class THeld { New, Old, Unknown };
    THeld HeldAfterFailedWrite(const TImageBuffer& before, const TImageBuffer& intended);
    // The journal's words for it: "прибор хранит новые настройки", ...
    static const char* HeldText(THeld held);
    // The same for the engineer, in the failure's own message: what the device holds and that it
    // must be read before anything else is done with it.
    static std::string HeldAdvice(THeld held);
    void DoCommand(uint8_t code, const uint8_t* send, uint8_t* receive)
    {
        ReviveLine();
        exchange_.DoCommand(code, send, receive);
    }

    // Every byte on the line and every port failure, for a trace or a journal (not owned).
    void SetObserver(TPortObserver* observer) { watch_.next = observer; }

    // After the system refused a purge, read or write on the open port (the line went away):
    // opens the same port again with the same settings and, only when that succeeds, lets
    // go of the old handle. A reopen that fails keeps the old handle, so the action fails
    // with the message it always did. One try per such failure.
    void ReviveLine();
    // Before an action's first byte: a line that went away while the port was idle (an adapter
    // pulled and plugged back) is found by a purge, which sends nothing, and opened afresh, so
    // that the action itself does not fail on the old handle.
    void Freshen();

    TComPort& Port() { return port_; }
    const TComPort& Port() const { return port_; }

private:
    // Passes everything on, and notes a failure of the line itself.
    struct TLineWatch : TPortObserver {
        TPortObserver* next = nullptr;
        bool lost = false;
        void OnWrite(const uint8_t* bytes, int32_t count, TimePoint at) override;
        void OnRead(const uint8_t* bytes, int32_t count, TimePoint at) override;
        void OnError(int32_t code, int systemError, TimePoint at) override;
    };

    TDeviceUi& ui_;
    TComPort port_;
    TDeviceExchange exchange_;
    TLineWatch watch_;
};
