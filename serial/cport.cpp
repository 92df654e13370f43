#include "cport.h"

#include <cstdio>

// ---------------------------------------------------------------- TComChannel

TComChannel::TComChannel(CommApi* api) : api_(api ? api : &SystemCommApi()) {}

TComChannel::~TComChannel()
{
    // Close() is virtual; by now the derived parts are gone, so do the channel's own.
    if (Handle != INVALID_HANDLE_VALUE_) {
        api_->CloseHandle(Handle);
        Handle = INVALID_HANDLE_VALUE_;
    }
}

void TComChannel::ReleaseHandle()
{
    api_->CloseHandle(GetHandle());
    SetHandle(INVALID_HANDLE_VALUE_);
}

THandle TComChannel::GetHandle() const { return Handle; }
void TComChannel::SetHandle(THandle Value) { Handle = Value; }
bool TComChannel::IsSerial() const { return false; }
int TComChannel::ReservedA() { return 0; }
int TComChannel::ReservedB() { return 0; }
bool TComChannel::IsOpen() const { return GetHandle() != INVALID_HANDLE_VALUE_; }

void TComChannel::Close()
{
    if (IsOpen())
        ReleaseHandle();
}

void TComChannel::Flush() { api_->FlushFileBuffers(GetHandle()); }
int TComChannel::ReservedC() { return 0; }
int TComChannel::ReservedD() { return 0; }
void TComChannel::UnsupportedCommand() { RaiseError(0); }

void TComChannel::ReadExact(void* Buffer, int32_t Count, int32_t TimeoutMs)
{
    if (Read(Buffer, Count, TimeoutMs) != Count)
        RaiseError(264);
}

uint8_t TComChannel::ReadByte(int32_t TimeoutMs)
{
    uint8_t b = 0;
    ReadExact(&b, 1, TimeoutMs);
    return b;
}

void TComChannel::WriteByte(uint8_t Value) { Write(&Value, 1); }

// ---------------------------------------------------------------- TComPort

namespace {
const char* const kPortTexts[] = {
    "Неправильный номер COM-порта.",             // 257
    "COM-порт не открыт.",                       // 258
    "Ошибка открытия СОМ-порта",                 // 259: С, О, М Cyrillic
    "Не удалаcь проинициализировать СOM-порт.",  // 260: Latin c; Cyrillic С, Latin OM
    "Не удалось очистить COM-порт.",             // 261
    "Не удалось прочитать из COM-порта.",        // 262
    "Не удалось записать в COM-порт.",           // 263
    "Нет ответа от запрашиваемого устройства.",  // 264
};
}  // namespace

TComPort::TComPort(CommApi* api) : TComChannel(api)
{
    BaudRate = 2400;
    Parity = TParity::None;
    SetReadTimeout(0);  // closed: only stores
    StopBits = TStopBits::One;
    DataBits = 8;
    ParityCheck = true;
    DtrEnable = true;
    RtsEnable = false;
    CtsFlow = false;
}

std::string TComPort::GetDriverName() const { return "Драйвер COM-порта"; }

std::string TComPort::ErrorText(int32_t Code) const
{
    if (Code >= 257 && Code <= 264)
        return kPortTexts[Code - 257];
    return TKestDriver::ErrorText(Code);
}

bool TComPort::IsSerial() const { return true; }

THandle TComPort::CreatePortHandle(int32_t Index)
{
    PortIndex = Index;
    if (GetHandle() != INVALID_HANDLE_VALUE_)
        Close();
    char name[24];
    std::snprintf(name, sizeof name, "COM%d", Index + 1);
    return api_->CreateFile(name);
}

void TComPort::AssignSettings(const TComPort& Other)
{
    // This port receives Other's settings.
    BaudRate = Other.BaudRate;
    Parity = Other.Parity;
    SetReadTimeout(Other.ReadTimeout);
    StopBits = Other.StopBits;
    EventMask = Other.EventMask;
}

int TComPort::ReservedE() { return 0; }
void TComPort::ReservedF() {}

void TComPort::ConditionalPurge(bool Purge)
{
    if (Purge)
        PurgeAll();
}

void TComPort::AfterOpen() {}
void TComPort::RequestPurge(bool Purge) { ConditionalPurge(Purge); }
void TComPort::ReservedG() {}

void TComPort::Open(int32_t Index)
{
    if (Index < 0 || Index > 15)
        RaiseError(257);
    SetHandle(CreatePortHandle(Index));
    if (GetHandle() == INVALID_HANDLE_VALUE_)
        RaiseError(259);
    try {
        ApplySettings();
    } catch (...) {
        api_->CloseHandle(GetHandle());
        SetHandle(INVALID_HANDLE_VALUE_);
        AfterOpen();
        throw;
    }
    AfterOpen();
}

void TComPort::Reopen()
{
    SetHandle(CreatePortHandle(PortIndex));
    if (GetHandle() == INVALID_HANDLE_VALUE_)
        RaiseError(259);
    ApplySettings();
}

TDCB TComPort::BuildDCB() const
{
    TDCB d{};
    d.DCBlength = sizeof(TDCB);
    d.BaudRate = static_cast<uint32_t>(BaudRate);
    d.Flags = dcb::fBinary;
    if (Parity != TParity::None && ParityCheck)
        d.Flags |= dcb::fParity;
    if (CtsFlow)
        d.Flags |= dcb::fOutxCtsFlow;
    d.Flags |= (DtrEnable ? dcb::DtrControlEnable : dcb::DtrControlDisable) << dcb::DtrShift;
    const uint32_t rts = RtsEnable ? dcb::RtsControlEnable : RtsToggle ? dcb::RtsControlToggle : dcb::RtsControlDisable;
    d.Flags |= rts << dcb::RtsShift;
    d.ByteSize = static_cast<uint8_t>(DataBits & 0xFF);
    // Our order is none, mark, space, odd, even; the system's none, odd, even, mark, space.
    static const uint8_t parityMap[] = {0, 3, 4, 1, 2};
    const auto p = static_cast<unsigned>(Parity);
    d.Parity = p < 5 ? parityMap[p] : 0;
    switch (StopBits) {
    case TStopBits::One: d.StopBits = 0; break;
    case TStopBits::Two: d.StopBits = 2; break;
    case TStopBits::OneAndHalf: d.StopBits = 1; break;
    }
    return d;
}

void TComPort::ApplySettings()
{
    const TDCB d = BuildDCB();
    if (!api_->SetCommState(GetHandle(), d))
        RaiseError(260);
    Timeouts = TCommTimeouts{};
    Timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(ReadTimeout);
    bool ok = api_->PurgeComm(GetHandle(), PURGE_TXABORT_ | PURGE_RXABORT_ | PURGE_TXCLEAR_ | PURGE_RXCLEAR_) &&
              api_->SetCommTimeouts(GetHandle(), Timeouts) && api_->SetCommMask(GetHandle(), 0) &&
              (EventMask == 0 || api_->SetCommMask(GetHandle(), EventMask));
    if (!ok)
        RaiseError(260);
}

void TComPort::SetReadTimeout(int32_t Value)
{
    // The record follows only what the system accepted: a value it refused must not make
    // the next read skip the call and run under the system's old time-out (0 waits forever).
    if (IsOpen()) {
        TCommTimeouts t = Timeouts;
        t.ReadTotalTimeoutConstant = Value < 0 ? 0u : static_cast<uint32_t>(Value);
        if (!api_->SetCommTimeouts(GetHandle(), t))
            RaiseError(260);
        Timeouts = t;
    }
    ReadTimeout = Value;
}

void TComPort::RaiseError(int32_t Code, const std::string& Msg) const
{
    const int systemError = LastSystemError();  // before anything else can change it
    if (Observer)
        Observer->OnError(Code, systemError, std::chrono::system_clock::now());
    TComChannel::RaiseError(Code, Msg);
}

int32_t TComPort::Read(void* Buffer, int32_t Count, int32_t TimeoutMs)
{
    if (!IsOpen())
        RaiseError(258);
    const int32_t saved = ReadTimeout;
    if (TimeoutMs != -1 && TimeoutMs != ReadTimeout)
        SetReadTimeout(TimeoutMs);
    uint32_t n = 0;
    if (!api_->ReadFile(GetHandle(), Buffer, static_cast<uint32_t>(Count), n)) {
        if (ReadTimeout != saved)
            SetReadTimeout(saved);
        RaiseError(262);
    }
    if (Observer && n > 0)
        Observer->OnRead(static_cast<const uint8_t*>(Buffer), static_cast<int32_t>(n),
                         std::chrono::system_clock::now());
    if (ReadTimeout != saved)
        SetReadTimeout(saved);
    return static_cast<int32_t>(n);
}

int32_t TComPort::ReadAvailable(void* Buffer, int32_t Count)
{
    if (!IsOpen())
        RaiseError(258);
    TCommTimeouts saved{};
    api_->GetCommTimeouts(GetHandle(), saved);
    TCommTimeouts immediate{};
    immediate.ReadIntervalTimeout = MAXDWORD_;
    api_->SetCommTimeouts(GetHandle(), immediate);
    uint32_t n = 0;
    if (!api_->ReadFile(GetHandle(), Buffer, static_cast<uint32_t>(Count), n)) {
        api_->SetCommTimeouts(GetHandle(), saved);
        RaiseError(262);
    }
    api_->SetCommTimeouts(GetHandle(), saved);
    return static_cast<int32_t>(n);
}

int32_t TComPort::Write(const void* Buffer, int32_t Count)
{
    // No open test: the system's failure on a closed handle reports 263.
    uint32_t n = 0;
    if (!api_->WriteFile(GetHandle(), Buffer, static_cast<uint32_t>(Count), n))
        RaiseError(263);
    if (Observer && n > 0)
        Observer->OnWrite(static_cast<const uint8_t*>(Buffer), static_cast<int32_t>(n),
                          std::chrono::system_clock::now());
    return static_cast<int32_t>(n);
}

void TComPort::ReservedH() {}
void TComPort::ReservedI() {}
int32_t TComPort::SendBuffer(const void* Buffer, int32_t Count) { return Write(Buffer, Count); }

void TComPort::PurgeAll()
{
    if (!IsOpen())
        RaiseError(258);
    if (!api_->PurgeComm(GetHandle(), 0x0F))
        RaiseError(261);
}

void TComPort::PurgeInput()
{
    if (!api_->PurgeComm(GetHandle(), PURGE_RXCLEAR_))
        RaiseError(261);
}

void TComPort::PurgeOutput()
{
    if (!api_->PurgeComm(GetHandle(), PURGE_TXABORT_ | PURGE_TXCLEAR_))
        RaiseError(261);
}

void TComPort::SetDTR() { api_->EscapeCommFunction(GetHandle(), SETDTR_); }
void TComPort::ClearDTR() { api_->EscapeCommFunction(GetHandle(), CLRDTR_); }
void TComPort::SetRTS() { api_->EscapeCommFunction(GetHandle(), SETRTS_); }
void TComPort::ClearRTS() { api_->EscapeCommFunction(GetHandle(), CLRRTS_); }
bool TComPort::IsCTS() { return ModemLineOn(MS_CTS_ON_); }
bool TComPort::IsRLSD() { return ModemLineOn(MS_RLSD_ON_); }
bool TComPort::IsDSR() { return ModemLineOn(MS_DSR_ON_); }
void TComPort::ReservedJ() {}

bool TComPort::ModemLineOn(uint32_t Mask)
{
    // A failed status query answers false for every mask, the empty one included.
    uint32_t status = 0;
    if (!api_->GetCommModemStatus(GetHandle(), status))
        return false;
    return (status & Mask) == Mask;
}

std::array<TSharedComRec, 16>& SharedComTable()
{
    // Never freed before the process ends.
    static auto* table = new std::array<TSharedComRec, 16>();
    return *table;
}

namespace {
// Created when the program starts, as the port module's start-up does.
[[maybe_unused]] const auto& kSharedTableAtStart = SharedComTable();
}  // namespace
