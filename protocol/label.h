// The label a station sticks on every device it numbers: the factory number in large print, the
// model, the date, and a DataMatrix holding the same. Described here (Qt Core); drawn with Qt Gui
// and libzint (labeldraw.cpp), in the window's programs and zenda-draw.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

struct TLabel {
    int serial = 0;
    QString model;  // "ZENDA2"
    QDate date;     // of the verified write
};

// What the DataMatrix holds, ASCII for any reader: "ZENDA2;12345;2026-12-10".
QByteArray LabelData(const TLabel& label);

// The label's size in millimetres; "58x40" by default.
struct TLabelSize {
    double width = 58, height = 40;
    QString Text() const;  // "58x40"
};
// "58x40", "62x29.5": ERefused for anything else (20..200 mm a side).
TLabelSize ParseLabelSize(const QString& text);

// Where labels go: a PDF file of one label a page (a name ending in .pdf), else a printer's name.
struct TLabelTarget {
    QString pdf, printer;
    TLabelSize size;
    bool IsPdf() const { return !pdf.isEmpty(); }
};
TLabelTarget LabelTarget(const QString& text, const TLabelSize& size);

// The label of the newest verified write that gave a device this number, from the journal;
// none when it holds no such write (a spoiled, failed or skipped number has none).
std::optional<TLabel> LabelOfNumber(int serial);

// The description the drawing program reads (a JSON object with "labels"), and back; the reading
// throws std::runtime_error when it is damaged.
QByteArray LabelsJson(const std::vector<TLabel>& labels, const TLabelSize& size);
bool IsLabelsJson(const QByteArray& json);
std::vector<TLabel> LabelsFromJson(const QByteArray& json, TLabelSize* size);

// The printers the system prints to (CUPS's lpstat -e; the Windows spooler's), by name.
QStringList LabelPrinters();
// Sends a PDF of labels to a printer through the system's printing (CUPS's lp, on the label's
// size as its media); throws std::runtime_error with the reason when the system refuses it.
void PrintLabelsPdf(const QByteArray& pdf, const QString& printer, const TLabelSize& size, const QString& title);

// A run's labels to their target: a PDF file made anew and rewritten whole with each label (one a
// page, every label of the run), or each label to the printer. draw makes the PDF (in the
// process, or by the drawing program). Used from the fixtures' threads.
class TLabeler {
public:
    using TDraw = std::function<QByteArray(const std::vector<TLabel>&, const TLabelSize&)>;
    // A PDF that exists already is refused (ERefused): the labels of an earlier run stay.
    TLabeler(TLabelTarget target, TDraw draw);
    // Makes the label; what was done ("labels.pdf, page 3", "printer Zebra"); std::runtime_error.
    // The label is due in the data folder's labels.csv first and made there after: a label that
    // a stop or a crash left due is made by the next run (Due()).
    QString Make(const TLabel& label);
    // The labels due and never made, oldest first.
    static std::vector<TLabel> Due();
    // Makes each label an earlier run left due (stopped between a device's verification and
    // its label); told of each: what was done, or the error.
    void MakeDue(const std::function<void(const TLabel&, const QString& done, const QString& error)>& told);
    const TLabelTarget& Target() const { return target_; }

private:
    QString MakeNow(const TLabel& label);
    TLabelTarget target_;
    TDraw draw_;
    std::mutex mu_;
    std::vector<TLabel> made_;
};
