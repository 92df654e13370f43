#include "session.h"

#include <cstring>

TDeviceSession::TDeviceSession(TDeviceUi& ui, CommApi* api) : ui_(ui), port_(api), exchange_(port_, ui)
{
    port_.Observer = &watch_;
}

void TDeviceSession::Open(int32_t comIndex, int32_t baudRate)
{
    watch_.lost = false;
    port_.SetBaudRate(baudRate);
    port_.Open(comIndex);
}

void TDeviceSession::Reopen()
{
    watch_.lost = false;
    port_.Reopen();
}

void TDeviceSession::Close()
{
    watch_.lost = false;
    if (port_.IsOpen())
        port_.Close();
}

void TDeviceSession::CheckOpen()
{
    ReviveLine();
    if (!port_.IsOpen())
        ui_.ErrorAbort("COM-Порт не открыт", "Ошибка");
}

void TDeviceSession::ReviveLine()
{
    if (!watch_.lost || !port_.IsOpen())
        return;
    watch_.lost = false;
    // The new handle first: the old one may still hold the device (a passing error, not a
    // pulled adapter), and then the exclusive open fails and nothing changes.
    TComPort fresh(&port_.Api());
    fresh.BaudRate = port_.BaudRate;
    fresh.Parity = port_.Parity;
    fresh.StopBits = port_.StopBits;
    fresh.DataBits = port_.DataBits;
    fresh.ParityCheck = port_.ParityCheck;
    fresh.RtsEnable = port_.RtsEnable;
    fresh.DtrEnable = port_.DtrEnable;
    fresh.CtsFlow = port_.CtsFlow;
    fresh.RtsToggle = port_.RtsToggle;
    fresh.EventMask = port_.EventMask;
    fresh.SetReadTimeout(port_.ReadTimeout);
    try {
        fresh.Open(port_.PortIndex);
    } catch (const std::exception&) {
        return;  // still gone
    }
    port_.Close();
    port_.SetHandle(fresh.GetHandle());
    port_.Timeouts = fresh.Timeouts;
    fresh.SetHandle(INVALID_HANDLE_VALUE_);
}

void TDeviceSession::Freshen()
{
    if (!port_.IsOpen())
        return;
    try {
        port_.PurgeInput();
    } catch (const std::exception&) {
        watch_.lost = true;  // the observer has noted it too; ReviveLine tries the one reopen
    }
    ReviveLine();
}

void TDeviceSession::TLineWatch::OnWrite(const uint8_t* bytes, int32_t count, TimePoint at)
{
    if (next)
        next->OnWrite(bytes, count, at);
}

void TDeviceSession::TLineWatch::OnRead(const uint8_t* bytes, int32_t count, TimePoint at)
{
    if (next)
        next->OnRead(bytes, count, at);
}

void TDeviceSession::TLineWatch::OnError(int32_t code, int systemError, TimePoint at)
{
    // 261..263: the system refused to purge, read or write an open port; a time-out or a
    // garbled answer is no failure of the line.
    if (code >= 261 && code <= 263)
        lost = true;
    if (next)
        next->OnError(code, systemError, at);
}

TDeviceSession::THeld TDeviceSession::HeldAfterFailedWrite(const TImageBuffer& before, const TImageBuffer& intended)
{
    TImageBuffer now;
    if (!port_.IsOpen() || !ReadSilently(now))
        return THeld::Unknown;
    if (std::memcmp(now.Image(), intended.Image(), kImageSize) == 0)
        return THeld::New;
    if (std::memcmp(now.Image(), before.Image(), kImageSize) == 0)
        return THeld::Old;
    return THeld::Unknown;
}

const char* TDeviceSession::HeldText(THeld held)
{
    switch (held) {
    case THeld::New: return "после сбоя прочитано: прибор хранит новые настройки";
    case THeld::Old: return "после сбоя прочитано: прибор хранит прежние настройки, изменения не записаны";
    case THeld::Unknown: break;
    }
    return "после сбоя неизвестно, какие настройки хранит прибор";
}

std::string TDeviceSession::HeldAdvice(THeld held)
{
    std::string text;
    switch (held) {
    case THeld::New: text = "После сбоя прочитано: прибор хранит новые настройки."; break;
    case THeld::Old: text = "После сбоя прочитано: прибор хранит прежние настройки, изменения не записаны."; break;
    case THeld::Unknown: text = "После сбоя неизвестно, какие настройки хранит прибор."; break;
    }
    return text + "\nСчитайте прибор, прежде чем делать что-либо еще.";
}
