// The station's plan: which factory number each device gets, and what besides; and a channel's
// settings as the command line and the plan give them.
#include "numbers/plan.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>

#include "settings.h"

using namespace Qt::StringLiterals;

// ------------------------------------------------------------------ channel settings

// "value=0.01,type=pulse,test=yes" or the window's own texts; applied through the window's
// channel rules, so that what the grid would refuse is refused here. What is not given keeps
// what the device holds; where a new type forces a value, a note says so.
void ApplyChannelSpec(TChannelTable& table, int row, const QString& spec, std::vector<std::string>& notes,
                      const std::function<QString(const QString&)>& human)
{
    const std::string valueBefore = table.GetText(row, colCenaDiv), testBefore = table.GetText(row, colLineTest);
    if (spec.trimmed().isEmpty())  // an empty variable in a script: not "keep", but a mistake
        throw ERefused(Z::tr("channel %1: the channel settings are empty (value=, type=, test=)").arg(row + 1));
    QString value, type, test;
    for (const QString& part : spec.split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0)
            throw ERefused(Z::tr("channel %1: '%2' is not name=value (value=, type=, test=)").arg(row + 1).arg(part));
        const QString k = part.left(eq).trimmed().toLower(), v = part.mid(eq + 1).trimmed();
        if (k == u"value")
            value = v;
        else if (k == u"type")
            type = v;
        else if (k == u"test")
            test = v;
        else
            throw ERefused(Z::tr("channel %1: unknown '%2'").arg(row + 1).arg(k));
    }
    const int channel = row + 1;
    if (!type.isEmpty()) {
        static const struct {
            const char* word;
            int type;
        } words[] = {{"pulse", 0}, {"contact", 0}, {"dry", 0},  {"slow", 0},     {"fast", 1},
                     {"1-5", 1},   {"short", 1},   {"freq", 2}, {"frequency", 2}};
        int t = -1;
        for (const auto& w : words)
            if (type.toLower() == QString::fromLatin1(w.word))
                t = w.type;
        for (int i = 0; i < 3; ++i)
            if (type == QString::fromUtf8(TypeInSigTexts[i]))
                t = i;
        const auto& allowed = table.Column(colTypeInSig).PickList;
        if (t < 0 || t >= static_cast<int>(allowed.size()))
            throw ERefused(Z::tr("channel %1: type '%2' is not one this model takes").arg(channel).arg(type));
        if (t != table.Row(row).Type_InSig)  // the same type again changes nothing
            table.SetTypeInSig(row, t);
    }
    const int t = table.Row(row).Type_InSig;
    if (!value.isEmpty()) {
        if (table.Column(colCenaDiv).ReadOnly && t == 2)
            throw ERefused(Z::tr("channel %1: a frequency input has no pulse value").arg(channel));
        const char* const* texts = t == 0 ? TicksTexts : TicksTextsFast;
        QString number = value;
        number.replace(u'.', u',');
        int code = -1;
        for (int i = 0; i < 3; ++i) {
            const QString text = QString::fromUtf8(texts[i]);
            if (value == text || text.startsWith(number + u' '))
                code = i;
        }
        if (code < 0)
            throw ERefused(
                Z::tr("channel %1: pulse value '%2' is not one of this input type's").arg(channel).arg(value));
        table.SetCenaDiv(row, code);
    }
    if (!test.isEmpty()) {
        const QString v = test.toLower();
        bool on;  // the window's texts: "Есть" a line test, "Нет" none
        if (v == u"yes" || v == u"on" || v == u"1" || test == QString::fromUtf8(LineTestTexts[0]))
            on = true;
        else if (v == u"no" || v == u"off" || v == u"0" || test == QString::fromUtf8(LineTestTexts[1]))
            on = false;
        else
            throw ERefused(Z::tr("channel %1: test is yes or no, not '%2'").arg(channel).arg(test));
        if (t == 0 && on)
            throw ERefused(Z::tr("channel %1: a pulse input longer than 50 ms has no line test").arg(channel));
        table.SetLineTest(row, !on);
    }
    // The notes name the window's texts, each in the user's language.
    auto text = [&](int column) { return human(QString::fromStdString(table.GetText(row, column))); };
    const QString typeNow = text(colTypeInSig);
    if (value.isEmpty() && table.GetText(row, colCenaDiv) != valueBefore)
        notes.push_back(Z::tr("channel %1: pulse value %2 -> %3, as the type \"%4\" requires")
                            .arg(channel)
                            .arg(human(QString::fromStdString(valueBefore)), text(colCenaDiv), typeNow)
                            .toStdString());
    if (test.isEmpty() && table.GetText(row, colLineTest) != testBefore)
        notes.push_back(Z::tr("channel %1: line test %2 -> %3, as the type \"%4\" requires")
                            .arg(channel)
                            .arg(human(QString::fromStdString(testBefore)), text(colLineTest), typeNow)
                            .toStdString());
}

// ------------------------------------------------------------------ the plan

std::vector<TPlanRow> ParsePlan(const QByteArray& bytes, const QString& file)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        throw ERefused(Z::tr("%1: the plan is UTF-16; save it as UTF-8 (CSV UTF-8)").arg(file));
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))  // a spreadsheet's byte order mark
        text.remove(0, 1);
    const QStringList lines = text.split(QRegularExpression(u"\r\n|\n|\r"_s));
    auto refuse = [&](int line, const QString& what) {
        throw ERefused(Z::tr("%1: row %2: %3").arg(file, QString::number(line), what));
    };
    int headerLine = 0;
    while (headerLine < lines.size() && lines[headerLine].trimmed().isEmpty())
        ++headerLine;
    if (headerLine == lines.size())
        refuse(1, Z::tr("the plan is empty (a header row naming the columns: serial, address, ch1, ch2, v2-reset)"));
    const QChar sep = lines[headerLine].count(u';') > lines[headerLine].count(u',') ? u';' : u',';
    const QStringList header = lines[headerLine].split(sep);
    static const QStringList known{u"serial"_s, u"address"_s, u"ch1"_s, u"ch2"_s, u"v2-reset"_s};
    std::vector<int> column;  // index into known, per cell
    // A spreadsheet may end every row with a separator: empty cells at the header's end name no
    // column, and the rows leave them empty.
    qsizetype named = header.size();
    while (named > 1 && header[named - 1].trimmed().remove(u'"').isEmpty())
        --named;
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (i >= named) {
            column.push_back(-1);
            continue;
        }
        const QString name = header[i].trimmed().toLower().remove(u'"');
        const auto k = known.indexOf(name);
        if (k < 0)
            refuse(headerLine + 1, Z::tr("unknown column '%1' (serial, address, ch1, ch2, v2-reset)").arg(name));
        if (std::find(column.begin(), column.end(), k) != column.end())
            refuse(headerLine + 1, Z::tr("the column '%1' is named twice").arg(name));
        column.push_back(static_cast<int>(k));
    }
    if (std::find(column.begin(), column.end(), 0) == column.end())
        refuse(headerLine + 1, Z::tr("no column 'serial'"));
    std::vector<TPlanRow> rows;
    for (int i = headerLine + 1; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        // A channel's settings hold commas ("value=0.01,type=pulse"): quoted, as a spreadsheet
        // saves them, or in a file that separates its cells with semicolons.
        QStringList cells;
        QString cell;
        bool quoted = false;
        for (const QChar c : lines[i]) {
            if (c == u'"')
                quoted = !quoted;
            else if (c == sep && !quoted)
                cells << std::exchange(cell, QString());
            else
                cell += c;
        }
        cells << cell;
        if (quoted)
            refuse(i + 1, Z::tr("a quote is not closed"));
        if (cells.size() > static_cast<qsizetype>(column.size()))
            refuse(i + 1, Z::tr("more cells than the header names"));
        TPlanRow row;
        row.line = i + 1;
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QString v = cells[c].trimmed();
            if (v.isEmpty())
                continue;
            for (const QChar ch : v)
                if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)  // a NUL would end the number early
                    refuse(i + 1, Z::tr("a control character in the cell '%1'").arg(QString(v).replace(ch, u'?')));
            bool ok = false;
            switch (column[c]) {
            case -1: refuse(i + 1, Z::tr("a value '%1' under no column").arg(v)); break;
            case 0:
                row.serial = v.toInt(&ok);
                if (!ok)
                    refuse(i + 1, Z::tr("the serial number '%1' is not a number").arg(v));
                break;
            case 1:
                row.address = v.toInt(&ok);
                if (!ok)
                    refuse(i + 1, Z::tr("the address '%1' is not a number").arg(v));
                break;
            case 2: row.ch1 = v; break;
            case 3: row.ch2 = v; break;
            case 4:
                row.v2Reset = v.toLower() == u"yes" ? 1 : v.toLower() == u"no" ? 0 : -2;
                if (row.v2Reset == -2)
                    refuse(i + 1, Z::tr("v2-reset is yes or no, not '%1'").arg(v));
                break;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

void CheckPlan(const std::vector<TPlanRow>& rows, const QString& file)
{
    if (rows.empty())
        throw ERefused(Z::tr("the plan holds no device"));
    std::map<int, int> seen;
    for (const auto& r : rows) {
        // A row of a plan file is named before what is wrong with it.
        auto refuse = [&](const QString& what) {
            if (!r.line)
                throw ERefused(what);
            if (file.isEmpty())
                throw ERefused(Z::tr("row %1: %2").arg(QString::number(r.line), what));
            throw ERefused(Z::tr("%1: row %2: %3").arg(file, QString::number(r.line), what));
        };
        if (r.serial < 1 || r.serial > range::SerialMax)
            refuse(Z::tr("the serial number %1 is not 1..65535").arg(r.serial));
        if (auto [it, fresh] = seen.emplace(r.serial, r.line); !fresh)
            refuse(it->second
                       ? Z::tr("the serial number %1 is in the plan twice (row %2)").arg(r.serial).arg(it->second)
                       : Z::tr("the serial number %1 is in the plan twice").arg(r.serial));
        if (r.address && (*r.address < range::AddressMin || *r.address > range::AddressMax))
            refuse(Z::tr("the address %1 is not 1..63").arg(*r.address));
        // A channel's settings must be ones some model takes; the device's own model is
        // checked when it is on the fixture, before anything is written.
        for (int ch : {1, 2}) {
            const QString& spec = ch == 1 ? r.ch1 : r.ch2;
            if (spec.isEmpty())
                continue;
            std::string why;
            bool fits = false;
            for (uint8_t model : {kModelZenda1, kModelZenda3}) {
                TImageBuffer image;
                image.ModelCode() = model;
                TChannelTable table(image);
                table.AppendStartRows();
                if (model == kModelZenda1)
                    table.ApplyModel1();
                else
                    table.ApplyModel23(TDeviceSettings::ModelIndex(model));
                std::vector<std::string> notes;
                try {
                    ApplyChannelSpec(table, ch - 1, spec, notes);
                    fits = true;
                } catch (const ERefused& e) {
                    why = e.what();
                }
            }
            if (!fits)
                refuse(QString::fromStdString(why));
        }
    }
}

std::vector<TPlanRow> ReadPlanFile(const QString& file)
{
    if (file.isEmpty())
        throw ERefused(Z::tr("--plan is empty: give the plan's file"));
    // Only a regular file: a device would never end, a FIFO would wait for a writer.
    if (QFileInfo(file).exists() && !QFileInfo(file).isFile())
        throw ERefused(Z::tr("the plan %1 is not a regular file").arg(file));
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw ERefused(Z::tr("the plan %1 cannot be read: %2").arg(file, f.errorString()));
    constexpr qint64 kPlanMax = 16 * 1024 * 1024;
    const QByteArray bytes = f.read(kPlanMax + 1);
    if (bytes.size() > kPlanMax)
        throw ERefused(Z::tr("the plan %1 is too large for a plan").arg(file));
    return ParsePlan(bytes, file);
}
