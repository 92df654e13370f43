#include "exchange.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "abort.h"

void TDeviceUi::ErrorAbort(const std::string&, const std::string&) { throw EAbort(); }

namespace {
// Milliseconds that n bytes take on the line (10 bits each), rounded up.
int ByteTimeMs(int n, int32_t baud) { return baud > 0 ? static_cast<int>((n * 10000LL + baud - 1) / baud) : n * 10; }
}  // namespace

int TDeviceExchange::QuietMs() const { return std::max(20, ByteTimeMs(10, port_.BaudRate)); }

// Long enough for the rest of the longest answer (echo and 72 bytes) and more besides.
int TDeviceExchange::SettleLimitMs() const { return QuietMs() + ByteTimeMs(100, port_.BaudRate); }

void TDeviceExchange::SettleLine()
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(SettleLimitMs());
    uint8_t sink[128];
    try {
        while (port_.Read(sink, sizeof sink, QuietMs()) > 0 && Clock::now() < end) {}
    } catch (const std::exception&) {
        // A line that cannot be read says so at the command itself.
    }
    unsettled_ = false;
}

void TDeviceExchange::BeginExchange()
{
    if (unsettled_)
        SettleLine();
    port_.PurgeInput();
    unsettled_ = true;  // until the answer has been taken whole
}

void TDeviceExchange::DoCommand(uint8_t Code, const uint8_t* SendBuffer, uint8_t* ReceiveBuffer)
{
    BeginExchange();
    port_.WriteByte(Code);
    if (SendBuffer)
        port_.Write(SendBuffer, kImageSize);
    uint8_t echo = 0;
    if (port_.Read(&echo, 1, timeouts::Echo) != 1)
        Ui().ErrorAbort("Нет ответа от прибора", "Ошибка");
    if (echo != Code)
        Ui().ErrorAbort("Ошибка приемо/передачи", "Ошибка");
    if (ReceiveBuffer && port_.Read(ReceiveBuffer, kImageSize, timeouts::Block) != kImageSize)
        Ui().ErrorAbort("Ошибка приема данных от прибора", "Ошибка");
    unsettled_ = false;
}

uint8_t TDeviceExchange::ReadDeviceVersion()
{
    TWaitScope wait(Ui());
    BeginExchange();
    port_.WriteByte(cmd::Model);
    uint8_t ack = 0;
    try {
        ack = port_.ReadByte(timeouts::Ack);
    } catch (...) {
        throw std::runtime_error("Нет ответа от прибора");
    }
    if (ack == 0xFF)
        Ui().ErrorAbort("Ошибка приемо/передачи", "Ошибка");
    const uint8_t code = port_.ReadByte(timeouts::ModelCode);
    unsettled_ = false;
    return code;
}

void TDeviceExchange::ReadDataFromDevice(uint8_t* Image)
{
    TWaitScope wait(Ui());
    uint8_t check[kImageSize];
    for (int attempt = 1; attempt <= 3; ++attempt) {
        DoCommand(cmd::Read, nullptr, Image);
        DoCommand(cmd::Read, nullptr, check);
        if (std::memcmp(Image, check, kImageSize) == 0)
            return;
        unsettled_ = true;  // whatever made the copies differ may still be on the line
    }
    Ui().ErrorAbort("Ошибка приема данных с прибора", "Ошибка");
}

void TDeviceExchange::SendInitData(const uint8_t* Image, int attempts)
{
    TWaitScope wait(Ui());
    // One failed write is one message: each attempt's refusal is kept, not shown, and the last
    // one is raised for the caller to say once, with what the device holds after it.
    struct TKept : TDeviceUi {
        TDeviceUi& shown;
        std::string message;
        explicit TKept(TDeviceUi& s) : shown(s) {}
        [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string&) override
        {
            message = Msg;
            throw EAbort();
        }
        void BeginWait() override { shown.BeginWait(); }
        void EndWait() override { shown.EndWait(); }
    } kept(Ui());
    struct TRestore {
        TDeviceUi*& quiet;
        TDeviceUi* was;
        ~TRestore() { quiet = was; }
    } restore{quiet_, quiet_};
    quiet_ = &kept;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        try {
            uint8_t echo[kImageSize];
            DoCommand(cmd::Write, Image, echo);
            if (std::memcmp(Image, echo, kImageSize) != 0)
                Mismatch();
            DoCommand(cmd::Read, nullptr, echo);
            if (std::memcmp(Image, echo, kImageSize) != 0)
                Mismatch();
            return;
        } catch (const EAbort&) {
            if (attempt == attempts)
                throw std::runtime_error(kept.message);
        } catch (...) {
            if (attempt == attempts)
                throw;
        }
    }
}

void TDeviceExchange::Mismatch()
{
    unsettled_ = true;
    Ui().ErrorAbort("Ошибка приемо/прередачи: несовпадение принятых данных", "Ошибка");
    throw EAbort();  // a hook that returns after all must not let the write pass
}

void TDeviceExchange::LeaveInitMode() { DoCommand(cmd::LeaveInit, nullptr, nullptr); }

bool TDeviceExchange::ReadSilently(uint8_t* Image)
{
    TDeviceUi silent;  // its ErrorAbort only ends the read
    quiet_ = &silent;
    bool ok = false;
    try {
        ReadDataFromDevice(Image);
        ok = true;
    } catch (const EAbort&) {
    } catch (const std::exception&) {
    }
    quiet_ = nullptr;
    return ok;
}
