#include "qtdeviceui.h"

#include <QGuiApplication>

#include "msgs.h"

void TQtDeviceUi::ErrorAbort(const std::string& Msg, const std::string& Caption)
{
    ::ErrorAbort(QString::fromStdString(Msg), QString::fromStdString(Caption));
}

void TQtDeviceUi::BeginWait() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
void TQtDeviceUi::EndWait() { QGuiApplication::restoreOverrideCursor(); }
