#include "msgs.h"

#include "abort.h"

QString TidyMessage(const QString& Msg)
{
    qsizetype b = 0, e = Msg.size();
    while (b < e && Msg[b].unicode() <= 32)
        ++b;
    while (e > b && Msg[e - 1].unicode() <= 32)
        --e;
    QString s = Msg.mid(b, e - b);
    if (!s.isEmpty()) {
        const QChar last = s.back();
        if (last != u'.' && last != u'!' && last != u'?')
            s += u'.';
    }
    return s;
}

int StdMessageDlg(const QString& Msg, const QString& Caption, DialogType DlgType, const QVariantList& Buttons,
                  int DefaultButton)
{
    return MessageDlgEx(DlgType, TidyMessage(Msg), Caption, Buttons, DefaultButton, clBtnFace, nullptr);
}

namespace {
QString& LastError()
{
    static QString s;
    return s;
}
}  // namespace

QString LastErrorShown() { return LastError(); }
void RememberShown(const QString& text) { LastError() = text; }
void ForgetLastError() { LastError().clear(); }

void ShowErrorMsg(const QString& Msg, const QString& Caption)
{
    LastError() = TidyMessage(Msg);
    StdMessageDlg(Msg, Caption, DialogType::Error, {QStringLiteral("ОК")});
}

void ShowInfoMsg(const QString& Msg, const QString& Caption)
{
    StdMessageDlg(Msg, Caption, DialogType::Information, {QStringLiteral("ОК")});
}

bool AskYesNo(const QString& Msg, const QString& Caption, bool defaultNo)
{
    return StdMessageDlg(Msg, Caption, DialogType::Confirmation, {QStringLiteral("Да"), QStringLiteral("Нет")},
                         defaultNo ? 1 : 0) == 1;
}

bool AskYesNoCancelNo(const QString& Msg, const QString& Caption, bool defaultYes)
{
    return MessageDlgEx(DialogType::Confirmation, TidyMessage(Msg), Caption, {QStringLiteral("Да"), QStringLiteral("Нет")},
                        defaultYes ? 0 : 1, clBtnFace, nullptr, 1) == 1;
}

void ErrorAbort(const QString& Msg, const QString& Caption)
{
    ShowErrorMsg(Msg, Caption);
    throw EAbort();
}
