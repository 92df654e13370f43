// What this PC knows of the other PCs' writes: the newest done write of each device by another
// PC, as the team's server last told it. Kept in the data folder at every push, so that an
// engineer is told before a write even where there is no network; read without any network code.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

struct TOtherWrite {
    QString pc, engineer, time, action;  // time: as that PC journaled it (ISO 8601 with its zone)
    qint64 seq = 0;                      // the server's order of arrival
    qint64 atMs = 0;                     // time, parsed
    bool mine = false;                   // this PC's own write
    QString id;                          // the write's action identity
    // This PC's own writes of the device that arrived at the server before this one (their
    // identities): a write of this PC's that is not among them arrived later, or is not sent yet.
    QStringList ownBefore;
};

struct TKnownWrites {
    QString received;  // where the next reading of the server starts (its text of a time)
    qint64 seq = 0;
    // By the number the device has after the write: the write that arrived last, any PC's.
    QHash<int, TOtherWrite> bySerial;
};

QString KnownWritesPath();
// Empty when there is none yet (or it is not ours).
TKnownWrites LoadKnownWrites(const QString& path = KnownWritesPath());
// std::runtime_error with the reason when it cannot be written.
void SaveKnownWrites(const TKnownWrites& known, const QString& path = KnownWritesPath());
// Keeps the write of the device that arrived last (the server's order, never the PCs' clocks),
// given in the order of arrival; whether it was news (another PC's write not known before).
bool FoldWrite(TKnownWrites& known, int serial, TOtherWrite w);

// A journal's done write (a read, a leave or a failure changes nothing anyone relies on).
bool IsDoneWrite(const QString& action, const QString& outcome);
// Whether another PC's write arrived after this PC's own last write of the device (its journal):
// that write arrived before it (w.ownBefore); a device this PC never wrote counts any. Only when
// the server never told of this PC's own writes of it (heard before it did) are clocks compared.
bool NewerThanOwn(int serial, const TOtherWrite& w);
// The other PC's newest write of the device as last heard, when it is newer than this PC's own.
std::optional<TOtherWrite> KnownOtherWrite(int serial);
