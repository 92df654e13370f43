// The station's own record of the factory numbers it gave: numbers.csv in the data folder.
// Append-only, one line an event, each on the disk (flushed and synced) before what it allows
// happens: a write's begun line before the write's first byte. A begun line and its end share
// an identity of their own.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

struct TLedgerLine {
    int serial = 0;
    QString event;  // one of TNumberLedger's k... words
    QString id;     // the write's identity: its begun line and its end share it
    QString time, where;  // where: the fixture, or for kUsed what it was taken from
    int line = 0;         // in the file, from 1
};

// A line that is not a whole ledger line. digits: what stands where its number belongs; whole:
// those digits are the whole number (a separator follows), else only its start survived.
struct TLedgerDamage {
    int line = 0;
    bool cut = false;  // the file's last line, without its line end
    QString digits;
    bool whole = false;
    QString text;
};

class TNumberLedger {
public:
    static constexpr const char* kBegun = "begun";      // a write of this number begins
    static constexpr const char* kDone = "done";        // written and verified
    static constexpr const char* kSpoiled = "spoiled";  // the write began and was not verified
    static constexpr const char* kFree = "free";        // the write never began after all
    static constexpr const char* kSeen = "seen";        // a device on a fixture held it already
    static constexpr const char* kUsed = "used";        // known used from the journal or backups
    static constexpr const char* kHeader = "serial,event,id,time,where";

    explicit TNumberLedger(QString path = DefaultPath()) : path_(std::move(path)) {}
    static QString DefaultPath();  // the data folder's numbers.csv
    const QString& Path() const { return path_; }
    bool Exists() const;
    // Makes a missing ledger (its header), so that a ledger gone later is noticed.
    void Create() const;
    // One line, on the disk before it returns; std::runtime_error with the system's reason.
    void Append(int serial, const char* event, const QString& id, const QString& where) const;
    // Every line of the file, damaged ones apart; std::runtime_error when it cannot be read.
    void Read(std::vector<TLedgerLine>& lines, std::vector<TLedgerDamage>& damaged) const;
    // The same from the file's bytes: commas as written, or semicolons and quotes as a
    // spreadsheet saves it.
    static void Parse(const QByteArray& bytes, std::vector<TLedgerLine>& lines, std::vector<TLedgerDamage>& damaged);

private:
    QString path_;
};
