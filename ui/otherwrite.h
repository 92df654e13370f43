#pragma once

#include <QString>

class QProcess;
class QWidget;

// After a read, with a team's server: the department's journal is asked (off the event loop)
// whether another PC wrote this device after this PC last did; the next write tells the engineer
// who and when, once (information only: the write is the engineer's call).
class TOtherWriteCheck {
public:
    explicit TOtherWriteCheck(QWidget* parent) : parent_(parent) {}
    void Ask(int serial);
    // Before a write to the device numbered serial: the box, when there is something to tell.
    void Tell(int serial);

private:
    QWidget* parent_;
    QString text_;
    int serial_ = -1;
    QProcess* ask_ = nullptr;
};
