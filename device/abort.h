// The silent abort: ends the current user action without any message. Deliberately not
// a std::exception, so that handlers for real errors never swallow it by accident.
#pragma once

class EAbort {
public:
    EAbort() = default;
};
