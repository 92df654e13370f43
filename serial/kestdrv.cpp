#include "kestdrv.h"

#include <cstdio>

namespace {
const char* const kBaseTexts[] = {
    "Неподдерживаемая команда", "Ошибка CRC",
    "Коллизия в линии",         "Считаны некорректные данные",
    "Нет ответа от устройства", "Ошибка обмена с устройством",
};
}  // namespace

std::string UnknownErrorText(int32_t Code)
{
    // %x stands for the code in upper-case hex without leading zeros ("$12C" for 300).
    std::string text = "Неизвестный код ошибки $%x. Сообщите, пожалуйста, разработчикам программы.";
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(static_cast<uint32_t>(Code)));
    text.replace(text.find("%x"), 2, hex);
    return text;
}

std::string TKestDriver::ErrorText(int32_t Code) const
{
    // Unsigned test: a negative code is just another unknown code.
    if (static_cast<uint32_t>(Code) <= 5)
        return kBaseTexts[Code];
    if (OwnerDriver)
        return OwnerDriver->ErrorText(Code);
    return UnknownErrorText(Code);
}

void TKestDriver::RaiseError(int32_t Code, const std::string& Msg) const
{
    const std::string name = OwnerDriver ? OwnerDriver->GetDriverName() : GetDriverName();
    if (!Msg.empty())
        throw EDriverError(Msg, Code);
    throw EDriverError(name + ": " + ErrorText(Code), Code);
}
