// A test-only automation hook: with --automation the program takes commands on standard
// input, one a line, and answers each with a line starting "@ ". Input is delivered as
// posted mouse and key events to the real widgets, so every handler runs as for a user.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QSocketNotifier;
class QTimer;
struct TInputQueue;

class TAutomation : public QObject {
    Q_OBJECT
public:
    explicit TAutomation(QObject* parent = nullptr);
    ~TAutomation() override;
    // Reports "@ shown <ms>" once the main window is first on screen.
    void WatchForShow(QWidget* window);

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void ReadInput();
    void Take(const QByteArray& bytes);
    QString Handle(const QString& line);

#ifdef _WIN32
    // Windows has no notifier for a pipe: a reader thread fills a queue that a timer drains.
    std::shared_ptr<TInputQueue> queue_;
    QTimer* poll_ = nullptr;
#else
    QSocketNotifier* notifier_ = nullptr;
#endif
    QByteArray pending_;
    QWidget* watched_ = nullptr;
    QString opened_;  // the last file handed to the system's viewer ("opened")

private slots:
    // Stands in for the system's viewer, so that a test sees what would have been opened.
    void Open(const QUrl& url);
};
