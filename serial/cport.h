// The serial port driver: COM1..COM16 by index, line settings, per-call read time-outs.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "commapi.h"
#include "kestdrv.h"

// An abstract channel that owns one system handle.
class TComChannel : public TKestDriver {
public:
    explicit TComChannel(CommApi* api = nullptr);
    ~TComChannel() override;

    virtual void ReleaseHandle();
    virtual THandle GetHandle() const;
    virtual void SetHandle(THandle Value);
    virtual bool IsSerial() const;
    virtual int ReservedA();
    virtual int ReservedB();
    virtual bool IsOpen() const;
    virtual void Close();
    virtual void Flush();
    virtual int32_t Read(void* Buffer, int32_t Count, int32_t TimeoutMs) = 0;
    virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
    virtual int ReservedC();
    virtual int ReservedD();
    virtual void UnsupportedCommand();  // raises code 0

    void ReadExact(void* Buffer, int32_t Count, int32_t TimeoutMs);
    uint8_t ReadByte(int32_t TimeoutMs);
    void WriteByte(uint8_t Value);

    CommApi& Api() const { return *api_; }

protected:
    THandle Handle = INVALID_HANDLE_VALUE_;
    CommApi* api_;
};

// Sees every byte that crosses the line and every failure of the port, with the time it
// happened; the command line's trace and the service journal listen here.
class TPortObserver {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~TPortObserver() = default;
    virtual void OnWrite(const uint8_t* /*bytes*/, int32_t /*count*/, TimePoint /*at*/) {}
    virtual void OnRead(const uint8_t* /*bytes*/, int32_t /*count*/, TimePoint /*at*/) {}
    // Code: the driver's error code; systemError: errno, or GetLastError() on Windows.
    virtual void OnError(int32_t /*code*/, int /*systemError*/, TimePoint /*at*/) {}
};

enum class TParity : uint8_t { None = 0, Mark = 1, Space = 2, Odd = 3, Even = 4 };
enum class TStopBits : uint8_t { One = 0, Two = 1, OneAndHalf = 2 };

class TComPort : public TComChannel {
public:
    explicit TComPort(CommApi* api = nullptr);

    std::string GetDriverName() const override;
    std::string ErrorText(int32_t Code) const override;
    bool IsSerial() const override;
    int32_t Read(void* Buffer, int32_t Count, int32_t TimeoutMs) override;
    int32_t Write(const void* Buffer, int32_t Count) override;

    virtual THandle CreatePortHandle(int32_t Index);
    virtual void AssignSettings(const TComPort& Other);
    virtual int ReservedE();
    virtual void ReservedF();
    virtual void ConditionalPurge(bool Purge);
    virtual void AfterOpen();
    virtual void RequestPurge(bool Purge);
    virtual void ReservedG();
    virtual void Open(int32_t Index);
    virtual void Reopen();
    virtual void ApplySettings();
    virtual int32_t ReadAvailable(void* Buffer, int32_t Count);
    virtual void ReservedH();
    virtual void ReservedI();
    virtual int32_t SendBuffer(const void* Buffer, int32_t Count);
    virtual void PurgeAll();
    virtual void PurgeInput();
    virtual void PurgeOutput();
    virtual void SetDTR();
    virtual void ClearDTR();
    virtual void SetRTS();
    virtual void ClearRTS();
    virtual bool IsCTS();
    virtual bool IsRLSD();
    virtual bool IsDSR();
    virtual void ReservedJ();

    void SetReadTimeout(int32_t Value);
    bool ModemLineOn(uint32_t Mask);

    // Plain setters: a change reaches the device at the next Open.
    void SetBaudRate(int32_t v) { BaudRate = v; }
    void SetParity(TParity v) { Parity = v; }
    void SetStopBits(TStopBits v) { StopBits = v; }
    void SetDataBits(int32_t v) { DataBits = v; }
    void SetParityCheck(bool v) { ParityCheck = v; }
    void SetRtsEnable(bool v) { RtsEnable = v; }
    void SetDtrEnable(bool v) { DtrEnable = v; }
    void SetCtsFlow(bool v) { CtsFlow = v; }
    void SetRtsToggle(bool v) { RtsToggle = v; }
    void SetEventMask(uint32_t v) { EventMask = v; }

    // The device control block that ApplySettings hands the system.
    TDCB BuildDCB() const;

    int32_t BaudRate;
    TParity Parity;
    int32_t ReadTimeout;
    TCommTimeouts Timeouts{};
    TStopBits StopBits;
    int32_t DataBits;
    bool ParityCheck;
    bool RtsEnable;
    bool DtrEnable;
    int32_t PortIndex = 0;
    bool CtsFlow;
    bool RtsToggle = false;
    uint32_t EventMask = 0;
    TPortObserver* Observer = nullptr;  // not owned

    // Tells the observer, then raises as every driver does.
    [[noreturn]] void RaiseError(int32_t Code, const std::string& Msg = std::string()) const override;
};

// One record per port index, created at start and never used by the system's workflows.
struct TSharedComRec {
    std::recursive_mutex Lock;
    THandle Handle = INVALID_HANDLE_VALUE_;
    int32_t Field1 = 0;
    int32_t Field2 = 0;
};
std::array<TSharedComRec, 16>& SharedComTable();
