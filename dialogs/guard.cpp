#include "guard.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include "abort.h"
#include "custdlg.h"
#include "msgs.h"

QString TopLevelText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

namespace {
QString& TitleStore()
{
    static QString title;
    return title;
}
}  // namespace

QString AppTitle() { return TitleStore().isEmpty() ? QApplication::applicationName() : TitleStore(); }
void SetAppTitle(const QString& title) { TitleStore() = title; }

void ShowTopLevelError(const QString& message)
{
    RememberShown(TopLevelText(message));
    TCursorSuspend noWaitCursor;
    QMessageBox box(QMessageBox::Critical, AppTitle(), TopLevelText(message), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

namespace {
int gActions = 0;
int gStarted = 0;
}  // namespace

int RunningActions() { return gActions; }
int StartedActions() { return gStarted; }

void RunGuarded(const std::function<void()>& action)
{
    struct Count {
        Count() { ++gActions, ++gStarted; }
        ~Count() { --gActions; }
    } count;
    try {
        action();
    } catch (const EAbort&) {
        // ended quietly: its message, if any, has been shown already
    } catch (const std::exception& e) {
        ShowTopLevelError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowTopLevelError(QStringLiteral("Unknown error"));
    }
}

TWaitCursor::TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
TWaitCursor::~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
