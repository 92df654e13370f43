// A fixture's tile in the station's window, readable from two metres: its state in words and
// colour together, the number in large digits, the model, and the operator's buttons for it.
#pragma once

#include <QDateTime>
#include <QFrame>

class QLabel;
class QPushButton;

class TTile : public QFrame {
    Q_OBJECT
public:
    // The operator's view of a fixture: each with its words and colour.
    enum TLook { Waiting, Device, Writing, Done, Failed, Skipped, Paused, Acknowledge, Finished };
    TTile(const QString& fixture, const QString& shown, int index, QWidget* parent = nullptr);
    void Show(TLook look, int serial, const QString& model, const QString& message);
    TLook Look() const { return look_; }
    const QString& Fixture() const { return fixture_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* AcknowledgeButton() const { return ack_; }
    void Tick();  // the time in this state
    // The operator paused the fixture: it ends its device, then takes no other.
    void SetPaused(bool paused);

private:
    QString fixture_;
    TLook look_ = Waiting;
    bool paused_ = false;
    QDateTime since_ = QDateTime::currentDateTime();
    QLabel *name_, *state_, *number_, *model_, *message_, *time_;
    QPushButton *pause_, *ack_;
};
