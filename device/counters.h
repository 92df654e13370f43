// Counter bytes <-> the digits of the counter fields; no toolkit here.
#pragma once

#include <cstdint>
#include <string>

#include "image.h"

// The volume counter's mask for channel 1 or 2 from its type and pulse value; "" for none.
std::string GetCounterMask(const TImageBuffer& image, int Channel);
// Count bytes from Position, least significant first, as digits from the most significant
// down; a time counter drops the highest digit. A nibble N becomes the character 0x30 + N.
std::string CounterDigits(const TImageBuffer& image, int Position, int Count, bool IsTime);
uint8_t DigitPairToByte(char First, char Second);
// Stores the value ("0" is put in front) as Count bytes from Position.
void StoreCounterDigits(TImageBuffer& image, int Position, int Count, const std::string& value);
// True when every nibble of the Count bytes from Position is a decimal digit.
bool CounterIsBcd(const TImageBuffer& image, int Position, int Count);
