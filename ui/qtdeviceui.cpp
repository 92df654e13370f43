#include "qtdeviceui.h"

#include <QCursor>
#include <QGuiApplication>

#include "msgs.h"

void TQtDeviceUi::ErrorAbort(const std::string& Msg, const std::string& Caption)
{
    ::ErrorAbort(QString::fromStdString(Msg), QString::fromStdString(Caption));
}

void TQtDeviceUi::BeginWait()
{
    const QCursor* c = QGuiApplication::overrideCursor();
    const bool push = !(c && c->shape() == Qt::WaitCursor);
    pushed_.push_back(push);
    if (push)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void TQtDeviceUi::EndWait()
{
    if (pushed_.empty())
        return;
    const bool push = pushed_.back();
    pushed_.pop_back();
    if (push)
        QGuiApplication::restoreOverrideCursor();
}
