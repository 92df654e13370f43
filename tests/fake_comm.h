// A CommApi that records every call and answers as scripted.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "commapi.h"

class FakeCommApi : public CommApi {
public:
    std::vector<std::string> calls;
    std::map<std::string, int> failAt;  // call name -> 1-based call number that fails (0: every)
    std::map<std::string, int> seen;
    bool openOk = true;
    std::string lastName;
    TDCB lastDcb{};
    TCommTimeouts timeouts{};
    std::vector<TCommTimeouts> setTimeouts;
    std::deque<uint8_t> input;  // what ReadFile hands out
    std::vector<uint8_t> output;
    uint32_t modemStatus = 0;
    THandle next = 100;

    bool Step(const std::string& name)
    {
        calls.push_back(name);
        const int n = ++seen[name];
        auto it = failAt.find(name);
        return !(it != failAt.end() && (it->second == 0 || it->second == n));
    }
    int Count(const std::string& name) const
    {
        auto it = seen.find(name);
        return it == seen.end() ? 0 : it->second;
    }

    THandle CreateFile(const std::string& name) override
    {
        lastName = name;
        return Step("CreateFile") && openOk ? next++ : INVALID_HANDLE_VALUE_;
    }
    bool CloseHandle(THandle) override { return Step("CloseHandle"); }
    bool SetCommState(THandle, const TDCB& d) override
    {
        lastDcb = d;
        return Step("SetCommState");
    }
    bool GetCommTimeouts(THandle, TCommTimeouts& t) override
    {
        t = timeouts;
        return Step("GetCommTimeouts");
    }
    bool SetCommTimeouts(THandle, const TCommTimeouts& t) override
    {
        if (!Step("SetCommTimeouts"))
            return false;
        timeouts = t;
        setTimeouts.push_back(t);
        return true;
    }
    bool SetCommMask(THandle, uint32_t m) override
    {
        calls.push_back("Mask:" + std::to_string(m));
        return Step("SetCommMask");
    }
    bool PurgeComm(THandle, uint32_t f) override
    {
        calls.push_back("Purge:" + std::to_string(f));
        return Step("PurgeComm");
    }
    bool ReadFile(THandle, void* buf, uint32_t count, uint32_t& got) override
    {
        got = 0;
        if (!Step("ReadFile"))
            return false;
        auto* p = static_cast<uint8_t*>(buf);
        while (got < count && !input.empty()) {
            p[got++] = input.front();
            input.pop_front();
        }
        return true;
    }
    bool WriteFile(THandle h, const void* buf, uint32_t count, uint32_t& written) override
    {
        written = 0;
        if (h == INVALID_HANDLE_VALUE_ || !Step("WriteFile"))
            return false;
        auto* p = static_cast<const uint8_t*>(buf);
        output.insert(output.end(), p, p + count);
        written = count;
        return true;
    }
    bool EscapeCommFunction(THandle, uint32_t f) override { return Step("Escape:" + std::to_string(f)); }
    bool GetCommModemStatus(THandle, uint32_t& s) override
    {
        if (!Step("GetCommModemStatus"))
            return false;
        s = modemStatus;
        return true;
    }
    bool FlushFileBuffers(THandle) override { return Step("Flush"); }
};
