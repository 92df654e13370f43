// "Автокоррекция RTC": the clock correction, -25..+25 seconds, on a track bar.
#pragma once

#include <QDialog>
#include <QSlider>

#include <cstdint>

class QLabel;
class QPushButton;

// A horizontal track bar whose keys move as the platform's track bar does.
class TTrackBar : public QSlider {
public:
    explicit TTrackBar(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

// The correction byte's meaning (CorrectionValue, CorrectionByte) is the engine's.
#include "settings.h"

void DecodeCorrection(QSlider* TrackBar, QLabel* l1, uint8_t Byte);
uint8_t EncodeCorrection(const QSlider* TrackBar);

class TRTCCorrectionForm : public QDialog {
    Q_OBJECT
public:
    explicit TRTCCorrectionForm(QWidget* parent = nullptr);

    // Shows the byte, runs the dialog; on OK replaces the byte and answers true.
    bool EditCorrection(uint8_t& Correction);
    void TrackBar1Change();

    QLabel* Label2;
    QLabel* Label1;
    QLabel* Label3;
    QSlider* TrackBar1;
    QLabel* l1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* e) override;
};
