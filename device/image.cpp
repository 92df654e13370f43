#include "image.h"

#include <chrono>
#include <cstdio>

int BcdToInt(uint8_t Byte) { return (Byte >> 4) * 10 + (Byte & 0x0F); }

TLocalTime NowLocal()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void TImageBuffer::SetBit(int Position, int Bit, bool Value)
{
    if (Value)
        At(Position) = static_cast<uint8_t>(At(Position) | (1u << Bit));
    else
        At(Position) = static_cast<uint8_t>(At(Position) & ~(1u << Bit));
}

void TImageBuffer::SetPair(int Position, int LowBitNumber, int Value)
{
    const int shift = LowBitNumber - 1;
    const unsigned mask = 3u << shift;
    At(Position) = static_cast<uint8_t>((At(Position) & ~mask) | ((static_cast<unsigned>(Value) & 3u) << shift));
}

void TImageBuffer::SetWord(int Position, int Value)
{
    At(Position) = static_cast<uint8_t>((Value >> 8) & 0xFF);
    At(Position + 1) = static_cast<uint8_t>(Value & 0xFF);
}

void TImageBuffer::IntToBcdAt(int Position, int Value)
{
    At(Position) = static_cast<uint8_t>(((Value / 10) << 4) | (Value % 10));
}

void TImageBuffer::StampClock(const TLocalTime& Now)
{
    IntToBcdAt(1, Now.Minute);
    IntToBcdAt(2, Now.Hour);
    IntToBcdAt(3, Now.Day);
    IntToBcdAt(4, Now.Month);
    IntToBcdAt(5, Now.Year % 100);
}

namespace {
std::string TwoDigits(int v)
{
    // At least two digits; a byte that is not BCD can give three (0xFF reads 165).
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}
}  // namespace

std::string TImageBuffer::StampTimeText() const
{
    return TwoDigits(BcdToInt(At(2))) + ":" + TwoDigits(BcdToInt(At(1)));
}

std::string TImageBuffer::StampDateText() const
{
    return TwoDigits(BcdToInt(At(3))) + "/" + TwoDigits(BcdToInt(At(4))) + "/" + TwoDigits(BcdToInt(At(5)));
}
