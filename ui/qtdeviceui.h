// The engine's hooks answered by the window: the error box and the wait cursor.
#pragma once

#include "exchange.h"

class TQtDeviceUi : public TDeviceUi {
public:
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string& Caption) override;
    void BeginWait() override;
    void EndWait() override;
};
