// The device's settings as the window shows them, for every face that prints them: zenda's
// output and the commissioning protocol.
#pragma once

#include <string>
#include <vector>

#include "image.h"

struct TShownChannel {
    std::string value;     // "Цена входного импульса", "---" where the type has none
    std::string lineTest;  // "Тест линии"
    std::string type;      // "Тип входного сигнала"
};

struct TShownSettings {
    std::string model;  // "ZENDA1".."ZENDA3", empty when the code is none of them
    int serial = 0, address = 0, correction = 0;
    bool v2Reset = false;
    std::string stampDate, stampTime;  // the last initialization, "dd/mm/yy" and "hh:mm"
    std::vector<TShownChannel> channels;
    // The counters whole (TDeviceSettings::CounterWhole); empty: a forbidden type.
    std::string tp1, tp2, v1, v2;
};

// From the image and its model code (a code of no model reads with ZENDA3's rules, which
// name every type).
TShownSettings ShownSettings(const TImageBuffer& image);
