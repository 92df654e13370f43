#include "settings.h"

int CounterPosition(TCounter c)
{
    switch (c) {
    case TCounter::Tp1: return pos::Tp1;
    case TCounter::Tp2: return pos::Tp2;
    case TCounter::V1: return pos::V1;
    case TCounter::V2: return pos::V2;
    }
    return pos::Tp1;
}

bool IsTimeCounter(TCounter c) { return c == TCounter::Tp1 || c == TCounter::Tp2; }

int CorrectionValue(uint8_t Byte)
{
    const int v = (Byte & 0x0F) + 10 * ((Byte >> 4) & 0x03);
    return (Byte & 0x40) ? -v : v;
}

uint8_t CorrectionByte(int Seconds)
{
    if (Seconds < 0) {
        const int m = -Seconds;
        return static_cast<uint8_t>(0x40 | ((m / 10) << 4) | (m % 10));
    }
    return static_cast<uint8_t>(((Seconds / 10) << 4) | (Seconds % 10));
}

std::string TDeviceSettings::CounterText(TCounter c) const
{
    return CounterDigits(image_, CounterPosition(c), pos::CounterBytes, IsTimeCounter(c));
}

void TDeviceSettings::SetCounterText(TCounter c, const std::string& digits)
{
    StoreCounterDigits(image_, CounterPosition(c), pos::CounterBytes, digits);
}

bool TDeviceSettings::CounterIsBcd(TCounter c) const
{
    return ::CounterIsBcd(image_, CounterPosition(c), pos::CounterBytes);
}

TImageBuffer RestoredImage(const TImageBuffer& device, const TImageBuffer& backup, bool withCounters)
{
    TImageBuffer out = backup;
    out.ModelCode() = device.ModelCode();
    for (int p = pos::StampMinute; p <= pos::StampYear; ++p)
        out.At(p) = device.At(p);
    if (!withCounters)
        for (int p = pos::CountersFirst; p <= pos::CountersLast; ++p)
            out.At(p) = device.At(p);
    return out;
}

void TDeviceSettings::ClearCounters()
{
    for (int p = pos::CountersFirst; p <= pos::CountersLast; ++p)
        image_.At(p) = 0;
}
