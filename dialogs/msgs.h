// The four message calls the program uses, and the standard look behind them.
#pragma once

#include <QString>
#include <QVariantList>

#include "custdlg.h"

// Trims characters <= 32 at both ends and ends the text with ".", "!" or "?".
QString TidyMessage(const QString& Msg);

int StdMessageDlg(const QString& Msg, const QString& Caption, DialogType DlgType, const QVariantList& Buttons,
                  int DefaultButton = 0);
void ShowErrorMsg(const QString& Msg, const QString& Caption);
void ShowInfoMsg(const QString& Msg, const QString& Caption);
// "Да" is the default button (Enter) unless defaultNo.
bool AskYesNo(const QString& Msg, const QString& Caption, bool defaultNo = false);
// A question the program adds that can harm a device or a record: "Нет" is the default unless
// defaultYes, and Esc (or a close by the platform) answers "Нет".
bool AskYesNoCancelNo(const QString& Msg, const QString& Caption, bool defaultYes = false);
// The error box, then the silent abort.
[[noreturn]] void ErrorAbort(const QString& Msg, const QString& Caption);
// The text of the last error box shown (as tidied for the box); the journal records it.
QString LastErrorShown();
void ForgetLastError();
void RememberShown(const QString& text);
