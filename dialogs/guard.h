// The error backbone of every user action: the guard, the top-level error display and the
// wait cursor.
#pragma once

#include <QString>

#include <exception>
#include <functional>

// The top-level error display: a standard box with the error icon, the application's title
// as caption, "." appended when the message's last character sorts after ".".
QString TopLevelText(const QString& message);
// The application's title: the caption of the top-level error display and the plain box.
// Kept apart from Qt's display name, which the window system would append to every title.
QString AppTitle();
void SetAppTitle(const QString& title);
void ShowTopLevelError(const QString& message);

// Runs one user action: a silent abort ends it quietly, any other error is shown by the
// top-level display. Nothing escapes into Qt's event loop.
void RunGuarded(const std::function<void()>& action);
// How many user actions are running now (nested in modal loops): 0 when the window is idle.
int RunningActions();
// How many user actions have started since the program began.
int StartedActions();

// The wait cursor for as long as it lives.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};
