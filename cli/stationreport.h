// zenda station's report: the live table on a terminal (a line an event elsewhere, NDJSON with
// --json), the results file, and the counts the summary gives.
#pragma once

#include <QDateTime>
#include <QFile>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "program.h"
#include "station/station.h"

// h:mm:ss as the table and the summary show a duration.
QString Clock(qint64 seconds);

// Everything the operator and the line's system are told, from any fixture's thread.
class TReporter {
public:
    TReporter(const TGlobal& g, const TStationOptions& opt, TNumberBook& book, QFile* results);
    ~TReporter() { StopTicker(); }

    void StartTicker();
    void StopTicker();

    void Report(const TStationEvent& e);

    // Standard output went away (a closed pipe, a full disk): nobody sees the events any more.
    std::function<void()> onOutputLost;
    bool OutputLost() const { return outputLost_; }
    bool ResultsFailed() const { return resultsFailed_; }

    int Done() const { return done_; }
    int FailedCount() const { return failed_; }
    int Skipped() const { return skipped_; }
    qint64 Seconds() const { return started_.secsTo(QDateTime::currentDateTime()); }
    QString PerHour() const;

    // The live table is cleared before the summary is printed under it.
    void Close();

private:
    struct TRow {
        QString fixture, shown, state;
        int serial;
        QDateTime since;
    };
    static QDateTime Now() { return QDateTime::currentDateTime(); }

    // One line an event where no table is drawn; above the table where one is.
    void Log(const TStationEvent& e);
    void Flush();
    void Erase();
    void Draw();

    const TGlobal& g_;
    TNumberBook& book_;
    QFile* results_;
    const bool live_;
    std::mutex mu_;
    std::vector<TRow> rows_;
    int done_ = 0, failed_ = 0, skipped_ = 0, drawn_ = 0;
    bool resultsFailed_ = false;
    std::atomic<bool> outputLost_{false};
    QDateTime started_ = QDateTime::currentDateTime();
    std::atomic<bool> stop_{false};
    std::thread ticker_;
};
