#include "qtdeviceui.h"
#include "teamlink.h"

#include <QCursor>
#include <QGuiApplication>

#include "custdlg.h"
#include "guard.h"
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

bool TQtDeviceUi::Ask(const TQuestion& q)
{
    if (q.kind == TQuestion::LeaveAfterInit)  // the window's own question keeps its box
        return AskYesNo(q.text, QStringLiteral("Подтвердите"), !q.defaultYes);
    // The questions that can harm a device or a record: Esc (or closing the box) answers "Нет".
    return AskYesNoCancelNo(q.text, QStringLiteral("Подтвердите"), q.defaultYes);
}

void TQtDeviceUi::Inform(const QString& text) { ShowInfoMsg(text, QStringLiteral("Информация")); }

void TQtDeviceUi::Refuse(const QString& text) { ::ErrorAbort(text, QStringLiteral("Ошибка")); }

void TQtDeviceUi::ActionBegins() { ForgetLastError(); }

QString TQtDeviceUi::ShownError() const { return LastErrorShown(); }

QString TQtDeviceUi::FailureText(const std::exception& e) const { return TopLevelText(QString::fromUtf8(e.what())); }

void TQtDeviceUi::Journaled() { PushInBackground(); }

void TQtDeviceUi::JournalFailed(const QString&)
{
    if (journalWarned_)
        return;
    journalWarned_ = true;  // once a run; the device work goes on
    ShowErrorMsg(QStringLiteral("Не удалось записать журнал обслуживания: ") + TServiceRecords::JournalPath(),
                 QStringLiteral("Ошибка"));
}
