// A batch as the line's operator sets it up in the station's window: the plan, the fixtures and
// what every device gets; kept under a name in the data folder, so that the next shift reopens it.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

#include "numbers/plan.h"
#include "station/station.h"

struct TBatch {
    QString name;
    bool fromFile = false;  // the plan: a file, else first and count
    int first = 1, count = 10;
    QString planFile;
    QStringList ports;  // COMn or paths
    QString address;    // empty: what the device holds
    QString ch1, ch2;   // channel specs (value=,type=,test=); empty: what the device holds
    int v2Reset = -1;   // -1 what the device holds, 0 no, 1 yes
    bool protocol = false;
    bool labels = false;
    QString labelTarget;  // a printer's name, or a file ending in .pdf
    QString labelSize = QStringLiteral("58x40");
    bool team = false;  // the numbers from the team's book

    QJsonObject Json() const;
    static TBatch FromJson(const QJsonObject& o);
};

// The named batches kept in the data folder, by name.
QStringList BatchNames();
// ERefused when it cannot be read.
TBatch LoadBatch(const QString& name);
// Written whole; std::runtime_error with the reason.
void SaveBatch(const TBatch& batch);

// The plan's rows, checked whole (ERefused naming what is wrong).
std::vector<TPlanRow> BatchRows(const TBatch& batch);
// The station's options from the batch (ERefused for a value the rules refuse).
TStationOptions BatchOptions(const TBatch& batch);
// The models (ZENDA1, ...) whose channel table cannot take what the row asks, with the batch's
// own settings where the row gives none: the station sets the row aside for those.
QStringList UnfitModels(const TPlanRow& row, const TPlanRow& defaults);
