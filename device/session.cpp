#include "session.h"

TDeviceSession::TDeviceSession(TDeviceUi& ui, CommApi* api) : ui_(ui), port_(api), exchange_(port_, ui) {}

void TDeviceSession::Open(int32_t comIndex, int32_t baudRate)
{
    port_.SetBaudRate(baudRate);
    port_.Open(comIndex);
}

void TDeviceSession::Reopen() { port_.Reopen(); }

void TDeviceSession::Close()
{
    if (port_.IsOpen())
        port_.Close();
}

void TDeviceSession::CheckOpen()
{
    if (!port_.IsOpen())
        ui_.ErrorAbort("COM-Порт не открыт", "Ошибка");
}
