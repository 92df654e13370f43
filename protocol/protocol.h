// The commissioning protocol: one A4 page, in Russian, of what a write put into a device, who
// did it, where and when; made as PDF from the journal's line (which keeps the image written)
// or from a read of the device as it is now. Both faces make it. Qt Gui draws it, with no
// display needed, in the window's program only: zenda hands the description to that program
// (zenda-init --draw-protocol), so that zenda stays on Qt Core and small.
#pragma once

#include <QDateTime>

#include <optional>
#include <QString>

#include "image.h"
#include "records/records.h"

// Who and where: typed once, kept per user, the last values offered again. The positions and
// the customer's representative go to the signature block.
struct TProtocolParties {
    QString organisation, engineer, site, siteAddress, customer;
    QString engineerPosition, representative, representativePosition;
    static TProtocolParties Load();
    void Save() const;
};

// The meter connected to a channel, when the engineer gives it: its type, factory number and
// reading at commissioning (m³). Per device, so never kept for the next one.
struct TProtocolMeter {
    QString type, number, reading;
    bool Given() const { return !type.isEmpty() || !number.isEmpty() || !reading.isEmpty(); }
};
// A meter's reading as the page prints it: digits with one decimal comma, else empty (refused).
QString MeterReading(const QString& typed);
// The longest name or position either face takes for the page (it wraps there, never cut).
constexpr int kPartyMaxLength = 300;
// Why a name typed for the page is refused (too long, a control character), empty when taken.
QString PartyProblem(const QString& text);

struct TProtocol {
    int number = 0;  // this PC's running number
    QDateTime made;  // when the protocol was made
    TProtocolParties parties;
    TJournalLine line;   // the action: its time, port, changes, backup, outcome
    TImageBuffer image;  // the image written (or read, asNow), with the model code
    bool asNow = false;  // the device as read now, not a write
    QString program;     // the program and its version
    // After an initialization: 1 the device left initialization mode, 0 it stays in it; -1 not
    // an initialization.
    int leftInitMode = -1;
    TProtocolMeter meters[2];  // channels 1 and 2
};

// Whether the device left initialization mode after the initialization of this journal line:
// the journal's leave line that followed it on that port and device, done (1), or none (0); -1
// when the line is not an initialization.
int LeftInitModeAfter(const TJournalLine& line, const QString& journal = TServiceRecords::JournalPath());

// The image a journal line says was written and verified, with the model the line names;
// false when it holds none (nothing was written, or a line from before images were kept).
bool WrittenImage(const TJournalLine& line, TImageBuffer& image);
// Whether a protocol can be made of the line: a completed write with its image kept.
bool HasProtocol(const TJournalLine& line);
// A short fingerprint of the device's settings: the first 16 hex digits of the SHA-256 of the 72
// bytes with the counters and the initialization stamp as zeros; a later read of the device
// gives the same unless its settings changed since, however long it has counted.
QString ImageFingerprint(const TImageBuffer& image);
extern const char* const kFingerprintName;  // how the page names it
// Where a device's settings differ from those a write left (counters and stamp aside), in the
// change list's words; empty when the device holds what the write's protocol would describe.
QStringList SettingsDiffer(const TImageBuffer& written, const TImageBuffer& device);

// The next running number of this PC's protocols, kept beside the journal (several programs
// at once never get the same number; a number file lost or damaged resumes after the highest
// number in protocols/); throws std::runtime_error when it cannot be kept.
int NextProtocolNumber();
// A number taken for a protocol whose file could not be made goes back, so that the numbers an
// auditor sees have no gaps: unless a later one was taken meanwhile. Keep() once the file is made.
class TProtocolNumber {
public:
    TProtocolNumber() : number(NextProtocolNumber()) {}
    ~TProtocolNumber();
    TProtocolNumber(const TProtocolNumber&) = delete;
    TProtocolNumber& operator=(const TProtocolNumber&) = delete;
    void Keep() { kept_ = true; }
    const int number;

private:
    bool kept_ = false;
};
// What the page is the protocol of: "Протокол инициализации прибора ЗЕНДА", of an RTC
// correction, a counter preset, a restore, a reading.
QString ProtocolTitle(const TProtocol& p);
// The PDF's bytes: one page, however long the change list (it is scaled to fit). Drawn in the
// window's program (protocoldraw.cpp); zenda asks that program (cli/drawprotocol.cpp).
// Throws std::runtime_error with the reason.
QByteArray ProtocolPdf(const TProtocol& p);
// zenda's protocols: the description (ProtocolJson) in, the page out, no window, over SSH too
// (Qt's offscreen platform); 0, or 1 with the reason on standard error. zenda-draw's and
// zenda-init --draw-protocol's.
int DrawProtocolFiles(const char* in, const char* out);
// What the drawing needs, as JSON, and back; the reading throws std::runtime_error when damaged.
QByteArray ProtocolJson(const TProtocol& p);
TProtocol ProtocolFromJson(const QByteArray& json);
// The journal's newest verified write that gave a device this number (the write a protocol or a
// label describes); none when there is none.
std::optional<TJournalLine> NewestWriteOf(int serial);
// A station's protocol of the write that just gave № serial: described, numbered, drawn by draw
// (this program's ProtocolPdf) and saved; its path. Throws std::runtime_error saying why not.
QString SaveStationProtocol(int serial, const QString& program, QByteArray (*draw)(const TProtocol&));
// Under DataFolder()/protocols, a name of its own ("2026-12-08-143000-N12-1017-init.pdf"),
// written whole, never over another file; returns the full path.
QString SaveProtocol(const TProtocol& p, const QByteArray& pdf);
