// The configuration image: 72 bytes that travel on the line, plus the model code byte.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

constexpr int kImageSize = 72;
constexpr int kBufferSize = 73;  // image + model code

constexpr uint8_t kModelZenda1 = 0xF0;
constexpr uint8_t kModelZenda2 = 0xF1;
constexpr uint8_t kModelZenda3 = 0xF2;

// The local date and time, split as the stamp needs it.
struct TLocalTime {
    int Year, Month, Day, Hour, Minute, Second;
};
TLocalTime NowLocal();

int BcdToInt(uint8_t Byte);

// The one image buffer; positions are 1-based as the device documentation counts them.
class TImageBuffer {
public:
    TImageBuffer() { Bytes.fill(0); }

    uint8_t& At(int Position) { return Bytes.at(Position - 1); }
    uint8_t At(int Position) const { return Bytes.at(Position - 1); }
    uint8_t* Image() { return Bytes.data(); }
    const uint8_t* Image() const { return Bytes.data(); }
    uint8_t& ModelCode() { return Bytes[kImageSize]; }
    uint8_t ModelCode() const { return Bytes[kImageSize]; }

    int GetBit(int Position, int Bit) const { return (At(Position) >> Bit) & 1; }
    void SetBit(int Position, int Bit, bool Value);
    void SetPair(int Position, int LowBitNumber, int Value);
    int GetWord(int Position) const { return At(Position) * 256 + At(Position + 1); }
    void SetWord(int Position, int Value);
    void IntToBcdAt(int Position, int Value);
    // Minute, hour, day, month, year % 100 into positions 1..5, from one clock reading.
    void StampClock(const TLocalTime& Now);
    void StampClock() { StampClock(NowLocal()); }

    // The stamp as the window shows it: "hh:mm" and "dd/mm/yy".
    std::string StampTimeText() const;
    std::string StampDateText() const;

    std::array<uint8_t, kBufferSize> Bytes;
};
