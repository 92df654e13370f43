// What a write changes on a device, field by field, in the window's own terms
// ("Сетевой адрес: 42 -> 5"). No toolkit here: both faces and the journal use it.
#pragma once

#include <string>
#include <vector>

#include "image.h"

// The differences from `before` to `after`, one line a field; the counters and the stamp
// are named when they change.
std::vector<std::string> DescribeChanges(const TImageBuffer& before, const TImageBuffer& after);
