#include "counters.h"

std::string GetCounterMask(const TImageBuffer& image, int Channel)
{
    const int shift = 2 * (Channel - 1);
    const int P = (image.At(6) >> shift) & 3;   // the channel's pulse-value code
    const int T = (image.At(10) >> shift) & 3;  // and its input signal type
    static const char* const table[3][3] = {
        {"000000,00;0;_", "0000000,0;0;_", "00000000;0;_"},
        {"00000,000;0;_", "000000,00;0;_", "0000000,0;0;_"},
        {"00000,000;0;_", "000000,00;0;_", "0000000,0;0;_"},
    };
    if (T == 3 || P == 3)
        return {};
    return table[T][P];
}

std::string CounterDigits(const TImageBuffer& image, int Position, int Count, bool IsTime)
{
    auto digit = [](int nibble) { return static_cast<char>(0x30 + nibble); };
    const uint8_t first = image.At(Position);
    const std::string tail{digit(first >> 4), digit(first & 0x0F)};
    std::string head;
    for (int k = 2; k <= Count; ++k) {
        const uint8_t b = image.At(Position + k - 1);
        head.insert(0, std::string{digit(b >> 4), digit(b & 0x0F)});
    }
    if (IsTime && !head.empty())
        head.erase(0, 1);
    return head + tail;
}

uint8_t DigitPairToByte(char First, char Second)
{
    return static_cast<uint8_t>(
        ((static_cast<unsigned char>(First) - 0x30) * 16 + (static_cast<unsigned char>(Second) - 0x30)) % 256);
}

void StoreCounterDigits(TImageBuffer& image, int Position, int Count, const std::string& value)
{
    std::string S = "0" + value;
    // Never read before the text: a short value counts as leading zeros.
    if (static_cast<int>(S.size()) < 2 * Count)
        S.insert(0, 2 * Count - S.size(), '0');
    const int L = static_cast<int>(S.size());
    for (int k = 1; k <= Count; ++k)
        image.At(Position + k - 1) = DigitPairToByte(S[L - 2 * k], S[L - 2 * k + 1]);
}

bool CounterIsBcd(const TImageBuffer& image, int Position, int Count)
{
    for (int k = 0; k < Count; ++k) {
        const uint8_t b = image.At(Position + k);
        if ((b >> 4) > 9 || (b & 0x0F) > 9)
            return false;
    }
    return true;
}
