#include "exchange.h"

#include <cstring>
#include <stdexcept>

#include "abort.h"

void TDeviceUi::ErrorAbort(const std::string&, const std::string&) { throw EAbort(); }

void TDeviceExchange::DoCommand(uint8_t Code, const uint8_t* SendBuffer, uint8_t* ReceiveBuffer)
{
    port_.WriteByte(Code);
    if (SendBuffer)
        port_.Write(SendBuffer, kImageSize);
    uint8_t echo = 0;
    if (port_.Read(&echo, 1, timeouts::Echo) != 1)
        ui_.ErrorAbort("Нет ответа от прибора", "Ошибка");
    if (echo != Code)
        ui_.ErrorAbort("Ошибка приемо/передачи", "Ошибка");
    if (ReceiveBuffer && port_.Read(ReceiveBuffer, kImageSize, timeouts::Block) != kImageSize)
        ui_.ErrorAbort("Ошибка приема данных от прибора", "Ошибка");
}

uint8_t TDeviceExchange::ReadDeviceVersion()
{
    TWaitScope wait(ui_);
    port_.WriteByte(cmd::Model);
    uint8_t ack = 0;
    try {
        ack = port_.ReadByte(timeouts::Ack);
    } catch (...) {
        throw std::runtime_error("Нет ответа от прибора");
    }
    if (ack == 0xFF)
        ui_.ErrorAbort("Ошибка приемо/передачи", "Ошибка");
    return port_.ReadByte(timeouts::ModelCode);
}

void TDeviceExchange::ReadDataFromDevice(uint8_t* Image)
{
    TWaitScope wait(ui_);
    uint8_t check[kImageSize];
    for (int attempt = 1; attempt <= 3; ++attempt) {
        DoCommand(cmd::Read, nullptr, Image);
        DoCommand(cmd::Read, nullptr, check);
        if (std::memcmp(Image, check, kImageSize) == 0)
            return;
    }
    ui_.ErrorAbort("Ошибка приема данных с прибора", "Ошибка");
}

void TDeviceExchange::SendInitData(const uint8_t* Image)
{
    TWaitScope wait(ui_);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        try {
            uint8_t echo[kImageSize];
            DoCommand(cmd::Write, Image, echo);
            if (std::memcmp(Image, echo, kImageSize) != 0)
                ui_.ErrorAbort("Ошибка приемо/прередачи: несовпадение принятых данных", "Ошибка");
            DoCommand(cmd::Read, nullptr, echo);
            if (std::memcmp(Image, echo, kImageSize) != 0)
                ui_.ErrorAbort("Ошибка приемо/прередачи: несовпадение принятых данных", "Ошибка");
            return;
        } catch (...) {
            // Attempts 1 and 2 swallow every failure (their box has already been shown).
            if (attempt == 3)
                throw;
        }
    }
}

void TDeviceExchange::LeaveInitMode() { DoCommand(cmd::LeaveInit, nullptr, nullptr); }
