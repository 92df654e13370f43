// Driver base: a display name, the error texts and one way to fail.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A driver failure: the composed message and the numeric code.
class EDriverError : public std::runtime_error {
public:
    EDriverError(const std::string& message, int32_t code) : std::runtime_error(message), ErrorCode(code) {}
    int32_t ErrorCode;
};

class TKestDriver {
public:
    TKestDriver() = default;
    TKestDriver(const TKestDriver&) = delete;
    TKestDriver& operator=(const TKestDriver&) = delete;
    virtual ~TKestDriver() = default;

    // Not owned. When set, errors carry the owner's name and the owner explains
    // the codes this driver does not know.
    TKestDriver* OwnerDriver = nullptr;

    virtual std::string GetDriverName() const = 0;
    virtual std::string ErrorText(int32_t Code) const;
    [[noreturn]] virtual void RaiseError(int32_t Code, const std::string& Msg = std::string()) const;
};

// The text for codes that no table knows ("$12C" for 300).
std::string UnknownErrorText(int32_t Code);
