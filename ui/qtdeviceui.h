// The engine's hooks answered by the window: the error box and the wait cursor.
#pragma once

#include "exchange.h"

#include <vector>

class TQtDeviceUi : public TDeviceUi {
public:
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string& Caption) override;
    // The wait cursor, unless the action shows it already: no cursor work (a window-system
    // request for every window) between one exchange and the next.
    void BeginWait() override;
    void EndWait() override;

private:
    std::vector<bool> pushed_;  // per nesting level: whether BeginWait set a cursor
};
