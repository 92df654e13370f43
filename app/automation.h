// A test-only automation hook: with --automation the program takes commands on standard
// input, one a line, and answers each with a line starting "@ ". Input is delivered as
// posted mouse and key events to the real widgets, so every handler runs as for a user.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

class TAutomation : public QObject {
public:
    explicit TAutomation(QObject* parent = nullptr);
    // Reports "@ shown <ms>" once the main window is first on screen.
    void WatchForShow(QWidget* window);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void ReadInput();
    QString Handle(const QString& line);

    QSocketNotifier* notifier_;
    QByteArray pending_;
    QWidget* watched_ = nullptr;
};
