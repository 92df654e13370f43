// A device session: the one serial port and the exchange over it. Every face (the window,
// the command line) opens, reads and writes a device through this, never through the port.
#pragma once

#include <cstdint>
#include <memory>

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

    // The device operations, each verified as the exchange verifies it.
    uint8_t ReadDeviceVersion() { return exchange_.ReadDeviceVersion(); }
    void ReadDataFromDevice(TImageBuffer& image) { exchange_.ReadDataFromDevice(image.Image()); }
    void SendInitData(const TImageBuffer& image) { exchange_.SendInitData(image.Image()); }
    void LeaveInitMode() { exchange_.LeaveInitMode(); }
    void DoCommand(uint8_t code, const uint8_t* send, uint8_t* receive) { exchange_.DoCommand(code, send, receive); }

    // Every byte on the line and every port failure, for a trace or a journal (not owned).
    void SetObserver(TPortObserver* observer) { port_.Observer = observer; }

    TComPort& Port() { return port_; }
    const TComPort& Port() const { return port_; }

private:
    TDeviceUi& ui_;
    TComPort port_;
    TDeviceExchange exchange_;
};
