// "Данные протокола": who made the protocol, where and for whom; the last values offered
// again. An empty field prints as a line to write on by hand.
#pragma once

#include <QDialog>

#include "protocol.h"

class QLineEdit;

class TProtocolForm : public QDialog {
    Q_OBJECT
public:
    explicit TProtocolForm(QWidget* parent = nullptr);
    // Shows the last parties and empty meters; on "OK" keeps the parties and returns both, else
    // nothing.
    bool Ask(TProtocolParties& parties, TProtocolMeter (&meters)[2]);
    // The protocol of a completed write: asks the parties, saves the PDF under the data
    // folder and opens it in the system's viewer. False when cancelled.
    bool Make(const TJournalLine& line, const QString& program);

private:
    void CheckAndAccept();

    QLineEdit *Organisation, *Engineer, *EngineerPosition, *Site, *SiteAddress, *Customer, *Representative,
        *RepresentativePosition;
    QLineEdit *MeterType[2], *MeterNumber[2], *MeterReading[2];
};
