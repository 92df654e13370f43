// A simulator on a pseudo-terminal with COM1 pointing at it, and a port on COM1.
#pragma once

#include <string>
#include <vector>

#include "abort.h"
#include "cport.h"
#include "exchange.h"
#include "zsim.h"

// Records what the exchange reports instead of showing it.
class TRecordingUi : public TDeviceUi {
public:
    std::vector<std::string> errors;
    int depth = 0, maxDepth = 0;
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string& Caption) override
    {
        errors.push_back(Caption + ": " + Msg);
        throw EAbort();
    }
    void BeginWait() override { maxDepth = std::max(maxDepth, ++depth); }
    void EndWait() override { --depth; }
};

struct SimLine {
    explicit SimLine(zsim::Options opt = NoPace()) : sim(opt)
    {
        path = sim.StartPty();
        SetPortNameResolver([p = path](const std::string& n) { return n == "COM1" ? p : DefaultPortPath(n); });
    }
    ~SimLine() { SetPortNameResolver(nullptr); }
    static zsim::Options NoPace()
    {
        zsim::Options o;
        o.Pace = false;
        return o;
    }
    zsim::Simulator sim;
    std::string path;
};
