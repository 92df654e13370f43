// What the 72 bytes mean: the named positions of the configuration image, typed accessors
// for everything the program reads or writes, and the range rules that the faces check.
#pragma once

#include <cstdint>
#include <string>

#include "counters.h"
#include "image.h"

// Image positions, 1-based as the device documentation counts them.
namespace pos {
constexpr int StampMinute = 1;  // the last initialization, packed BCD: minute, hour,
constexpr int StampHour = 2;    // day, month, year % 100
constexpr int StampDay = 3;
constexpr int StampMonth = 4;
constexpr int StampYear = 5;
constexpr int PulseValues = 6;   // each channel's pulse-value code, 2 bits a channel
constexpr int SerialNumber = 7;  // a word, high byte first (7, 8)
constexpr int Address = 9;
constexpr int Flags = 10;  // input types (2 bits a channel), line tests (bit c + 4), V2 reset (bit 4)
constexpr int Correction = 11;
constexpr int Tp1 = 12;  // four counters of 4 bytes each, least significant byte first
constexpr int Tp2 = 16;
constexpr int V1 = 20;
constexpr int V2 = 24;
constexpr int CountersFirst = 12;
constexpr int CountersLast = 27;
constexpr int CounterBytes = 4;
constexpr int V2ResetBit = 4;
}  // namespace pos

enum class TCounter { Tp1, Tp2, V1, V2 };
int CounterPosition(TCounter c);
bool IsTimeCounter(TCounter c);
const char* CounterName(TCounter c);  // "tp1", "tp2", "V1", "V2"

// The correction byte: units in bits 0-3 (used even above 9), tens in bits 4-5, sign in
// bit 6, bit 7 ignored. Decodes to -45..45; encodes -25..25 anew (bit 7 clear, zero 0x00).
int CorrectionValue(uint8_t Byte);
uint8_t CorrectionByte(int Seconds);

// What a restore writes: the backup's settings onto the device's image as read now. The
// device keeps its counters (billing data) unless withCounters, and always its clock stamp;
// the model code is the device's.
TImageBuffer RestoredImage(const TImageBuffer& device, const TImageBuffer& backup, bool withCounters);

// The range rules; each face checks with these and says so in its own way.
namespace range {
constexpr int SerialMax = 65535;
constexpr int AddressMin = 1, AddressMax = 63;
constexpr int MinutesMax = 59;
constexpr int CorrectionMax = 25;
inline bool SerialNumber(long long v) { return v >= 0 && v <= SerialMax; }
inline bool Address(long long v) { return v >= AddressMin && v <= AddressMax; }  // 0 (none) aside
inline bool Minutes(long long v) { return v >= 0 && v <= MinutesMax; }
inline bool Correction(long long v) { return v >= -CorrectionMax && v <= CorrectionMax; }
}  // namespace range

// The settings of one image buffer, read and written in place.
class TDeviceSettings {
public:
    explicit TDeviceSettings(TImageBuffer& image) : image_(image) {}

    uint8_t ModelCode() const { return image_.ModelCode(); }
    void SetModelCode(uint8_t code) { image_.ModelCode() = code; }
    // The model list's index of a model code (0 = ZENDA1), -1 for a code that is none.
    static int ModelIndex(uint8_t code)
    {
        return code >= kModelZenda1 && code <= kModelZenda3 ? code - kModelZenda1 : -1;
    }

    int SerialNumber() const { return image_.GetWord(pos::SerialNumber); }
    void SetSerialNumber(int v) { image_.SetWord(pos::SerialNumber, v & 0xFFFF); }
    int Address() const { return image_.At(pos::Address); }
    void SetAddress(int v) { image_.At(pos::Address) = static_cast<uint8_t>(v & 0xFF); }
    bool V2Reset() const { return image_.GetBit(pos::Flags, pos::V2ResetBit) == 1; }
    void SetV2Reset(bool on) { image_.SetBit(pos::Flags, pos::V2ResetBit, on); }

    // Channel 1 or 2.
    int PulseValueCode(int channel) const { return (image_.At(pos::PulseValues) >> Shift(channel)) & 3; }
    void SetPulseValueCode(int channel, int code) { image_.SetPair(pos::PulseValues, Shift(channel) + 1, code); }
    int InputType(int channel) const { return (image_.At(pos::Flags) >> Shift(channel)) & 3; }
    void SetInputType(int channel, int type) { image_.SetPair(pos::Flags, Shift(channel) + 1, type); }
    bool LineTest(int channel) const { return image_.GetBit(pos::Flags, channel + 4) == 1; }
    void SetLineTest(int channel, bool on) { image_.SetBit(pos::Flags, channel + 4, on); }

    uint8_t& CorrectionRef() { return image_.At(pos::Correction); }
    uint8_t CorrectionByteValue() const { return image_.At(pos::Correction); }
    int Correction() const { return CorrectionValue(CorrectionByteValue()); }
    void SetCorrection(int seconds) { CorrectionRef() = CorrectionByte(seconds); }

    // The counter's digits as its field shows them (7 for a time counter, 8 for volume).
    std::string CounterText(TCounter c) const;
    void SetCounterText(TCounter c, const std::string& digits);
    bool CounterIsBcd(TCounter c) const;
    // The counter whole, for a person to read: a time counter as "00012:34" (five digits of hours,
    // six when the device holds that many, which the dialog's field cannot show), a volume counter
    // through its mask (raw digits without one); bytes that are not decimal digits as what they
    // are ("не число: байты 12 3A 56 78", in the device's order), never as a number they are not.
    std::string CounterWhole(TCounter c) const;
    // Whether the counter's dialog field shows it whole (decimal digits, and a time counter's
    // highest digit 0).
    bool CounterFitsField(TCounter c) const;
    // The volume counter's edit mask for channel 1 or 2, "" when the channel has none.
    std::string VolumeMask(int channel) const { return GetCounterMask(image_, channel); }
    void ClearCounters();

    void StampClock(const TLocalTime& now) { image_.StampClock(now); }
    void StampClock() { image_.StampClock(); }
    std::string StampTimeText() const { return image_.StampTimeText(); }
    std::string StampDateText() const { return image_.StampDateText(); }
    // The last initialization as "dd.MM.yyyy hh:mm", or its five bytes in hex when they are not
    // a date and time (a blank or garbled memory).
    std::string StampWhole() const;

private:
    static int Shift(int channel) { return 2 * (channel - 1); }
    TImageBuffer& image_;
};
