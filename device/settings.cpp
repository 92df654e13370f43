#include "settings.h"

#include <cstdio>

#include "editmask.h"

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

const char* CounterName(TCounter c)
{
    static const char* const names[] = {"tp1", "tp2", "V1", "V2"};
    return names[static_cast<int>(c)];
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

namespace {
std::string HexBytes(const TImageBuffer& image, int first, int count)
{
    std::string out;
    char b[4];
    for (int p = first; p < first + count; ++p) {
        std::snprintf(b, sizeof b, "%02X", image.At(p));
        if (!out.empty())  // appended piece by piece: GCC 12 at -O3 sees a false overlap in "" + ...
            out += ' ';
        out += b;
    }
    return out;
}
}  // namespace

bool TDeviceSettings::CounterFitsField(TCounter c) const
{
    return CounterIsBcd(c) && (!IsTimeCounter(c) || (image_.At(CounterPosition(c) + 3) >> 4) == 0);
}

std::string TDeviceSettings::CounterWhole(TCounter c) const
{
    const int at = CounterPosition(c);
    if (!CounterIsBcd(c))
        return "не число: байты " + HexBytes(image_, at, pos::CounterBytes);
    if (IsTimeCounter(c)) {
        const std::string all = CounterDigits(image_, at, pos::CounterBytes, false);  // 8 digits
        const std::string hours = all.substr(all[0] == '0' ? 1 : 0, all.size() - 2 - (all[0] == '0' ? 1 : 0));
        return hours + ":" + all.substr(all.size() - 2);
    }
    const std::string mask = VolumeMask(c == TCounter::V1 ? 1 : 2);
    return mask.empty() ? CounterText(c) : TEditMask(mask).ValueToDisplay(CounterText(c));
}

std::string TDeviceSettings::StampWhole() const
{
    const int limits[5][2] = {{0, 59}, {0, 23}, {1, 31}, {1, 12}, {0, 99}};
    for (int p = pos::StampMinute; p <= pos::StampYear; ++p) {
        const uint8_t b = image_.At(p);
        const int v = (b >> 4) * 10 + (b & 0x0F);
        if ((b >> 4) > 9 || (b & 0x0F) > 9 || v < limits[p - 1][0] || v > limits[p - 1][1])
            return "не дата: байты " + HexBytes(image_, pos::StampMinute, 5);
    }
    const std::string d = StampDateText();  // dd/mm/yy
    return d.substr(0, 2) + "." + d.substr(3, 2) + ".20" + d.substr(6, 2) + " " + StampTimeText();
}
