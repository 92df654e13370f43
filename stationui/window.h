// zenda-station: the production station in a window, for the line's operators. The set-up of a
// batch (kept by name), then a tile a fixture, the totals and the last events, over the same
// station engine, ledger and team's book as zenda station.
#pragma once

#include <QMainWindow>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "batch.h"
#include "label.h"
#include "station/station.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;
class QTimer;
class TTile;
struct TSharedNumbers;

class TStationWindow : public QMainWindow, private TStationHost {
    Q_OBJECT
public:
    explicit TStationWindow(QWidget* parent = nullptr);
    ~TStationWindow() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // ---- the set-up
    QWidget* BuildSetup();
    void FillPorts(const QStringList& checked);
    void ShowBatch(const TBatch& b);
    TBatch FromFields() const;
    void ShowPlan();
    void Start();
    QComboBox *Batch, *LabelTarget, *V2;
    QRadioButton *Range, *FromFile;
    QSpinBox *First, *Count;
    QLineEdit *PlanFile, *AddPort, *Address, *Ch1, *Ch2, *LabelSize;
    QListWidget* Ports;
    QTableWidget* Plan;
    QLabel* PlanNote;
    QCheckBox *Protocol, *Labels, *Team;

    // ---- the run
    QWidget* BuildRun();
    void Event(const TStationEvent& e);  // on the window's thread
    void Finished();
    void UpdateTotals();
    void Log(const QString& text);
    void Reprint();
    QLabel *Title, *Totals;
    QProgressBar* Progress;
    QGridLayout* tiles_;
    QListWidget* Events;
    QPushButton *Stop, *StopNowButton, *ReprintButton, *NewBatch;
    QStackedWidget* pages_;
    QTimer* ticker_;
    std::vector<TTile*> tileList_;

    // ---- the station's host (from the fixtures' threads)
    void Report(const TStationEvent& e) override;
    int StopAsked() const override { return stop_ ? 2 : 0; }
    bool StopNow() const override { return stopNow_; }
    bool Held(const QString& fixture) const override;
    void MakeLabel(const TStationEvent& e);  // the label of a device done

    TBatch batch_;
    std::unique_ptr<TStationLock> lock_;
    std::unique_ptr<TSharedNumbers> team_;
    std::unique_ptr<TNumberBook> book_;
    TStationOptions options_;
    std::unique_ptr<TStation> station_;
    std::unique_ptr<TLabeler> labeler_;
    std::thread runner_;
    std::atomic<bool> stop_{false}, stopNow_{false}, running_{false};
    bool closeWhenDone_ = false;
    mutable std::mutex heldMu_;
    std::map<QString, bool> paused_, unacknowledged_;
    int done_ = 0, failed_ = 0, skipped_ = 0, lastDone_ = -1, planSize_ = 0, ticks_ = 0;
    QDateTime started_;
};
