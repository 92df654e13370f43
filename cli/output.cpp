// What zenda says and asks: the device's settings as JSON and for people, the failures, the
// questions and the stop between exchanges.
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "protocol.h"
#include "records/records.h"
#include "shown.h"
#include "terminal.h"
#include "zenda.h"

using namespace Qt::StringLiterals;

std::string Hex(const uint8_t* b, int n)
{
    std::string s;
    char h[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(h, sizeof h, "%02X", b[i]);
        s += h;
    }
    return s;
}

// ------------------------------------------------------------------ what the device holds

QJsonObject SettingsJson(const TImageBuffer& image)
{
    const TShownSettings s = ShownSettings(image);
    QJsonObject o;
    o[u"model"_s] = QString::fromStdString(s.model);
    o[u"serial"_s] = s.serial;
    o[u"address"_s] = s.address;
    o[u"v2_reset"_s] = s.v2Reset;
    o[u"rtc_correction"_s] = s.correction;
    o[u"last_init"_s] = QString::fromStdString(s.stampDate + " " + s.stampTime);
    QJsonArray channels;
    for (const auto& ch : s.channels) {
        QJsonObject c;
        c[u"value"_s] = QString::fromStdString(ch.value);
        c[u"type"_s] = QString::fromStdString(ch.type);
        c[u"line_test"_s] = QString::fromStdString(ch.lineTest);
        channels.append(c);
    }
    o[u"channels"_s] = channels;
    QJsonObject counters;
    counters[u"tp1"_s] = QString::fromStdString(s.tp1);
    counters[u"tp2"_s] = QString::fromStdString(s.tp2);
    counters[u"v1"_s] = QString::fromStdString(s.v1);
    counters[u"v2"_s] = QString::fromStdString(s.v2);
    o[u"counters"_s] = counters;
    o[u"image"_s] = QString::fromStdString(Hex(image.Image(), kImageSize));
    o[u"fingerprint"_s] = ImageFingerprint(image);  // as the protocol prints it
    return o;
}

void PrintForPeople(const QJsonObject& o)
{
    // The labels in one column, as wide as the widest in the user's language.
    QList<std::pair<QString, QString>> lines;
    auto line = [&](const QString& name, const QString& v) { lines.append({name, v}); };
    const QString yes = Z::tr("yes"), no = Z::tr("no");
    if (o.contains(u"ok"_s))
        line(Z::tr("done"), o[u"ok"_s].toBool() ? yes : no);
    if (o.contains(u"model"_s)) {
        line(Z::tr("model"), o[u"model"_s].toString());
        line(Z::tr("serial number"), QString::number(o[u"serial"_s].toInt()));
        line(Z::tr("address"), QString::number(o[u"address"_s].toInt()));
        line(Z::tr("V2 may be reset"), o[u"v2_reset"_s].toBool() ? yes : no);
        line(Z::tr("RTC correction"), Z::tr("%1 s").arg(o[u"rtc_correction"_s].toInt()));
        line(Z::tr("initialized"), o[u"last_init"_s].toString());
        const QJsonArray ch = o[u"channels"_s].toArray();
        for (int i = 0; i < ch.size(); ++i) {
            const QJsonObject c = ch[i].toObject();
            line(Z::tr("channel %1").arg(i + 1),
                 Z::tr("value %1, type %2, line test %3")
                     .arg(Human(c[u"value"_s].toString()), Human(c[u"type"_s].toString()),
                          Human(c[u"line_test"_s].toString())));
        }
        const QJsonObject k = o[u"counters"_s].toObject();
        for (const char* name : {"tp1", "tp2", "v1", "v2"})
            line(QString::fromLatin1(name).toUpper(), k[QString::fromLatin1(name)].toString());
        line(Z::tr("image"), o[u"image"_s].toString());
        line(Z::tr("fingerprint"), Z::tr("%1 (SHA-256 of the settings, without the counters and the stamp, first 16 hex digits)").arg(o[u"fingerprint"_s].toString()));
    }
    qsizetype width = 0;
    for (const auto& l : lines)
        width = std::max(width, l.first.size());
    for (const auto& l : lines)
        std::printf("%s %s\n", l.first.leftJustified(width).toUtf8().constData(), l.second.toUtf8().constData());
}

QString Printable(const QString& text) { return OnOneLine(text, true); }

// Says why (unless the engine has said it already) and gives the exit status.
int Fail(const TGlobal& g, int status, const QString& text, bool said, const QString& held)
{
    const QString message = Human(text);  // the engine's texts too, in the user's language
    if (!said && !message.isEmpty())
        std::fprintf(stderr, "zenda: %s\n", Printable(message).toUtf8().constData());
    if (g.json) {
        QJsonObject o;
        o[u"ok"_s] = false;
        o[u"exit"_s] = status;
        o[u"error"_s] = message;
        if (!held.isEmpty())
            o[u"device_holds"_s] = held;  // after a failed write: "new", "old" or "unknown"
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    }
    return status;
}

// Between exchanges: a stop that was asked for ends the action here.
void Checkpoint()
{
    if (const int sig = StopSignal())
        throw EStopped(sig);
}

bool Ask(const QString& question)
{
    FlushTerminalInput();
    std::fprintf(stderr, "%s %s ", question.toUtf8().constData(), Z::tr("[y/N]").toUtf8().constData());
    std::fflush(stderr);
    char buf[64] = {};
    if (!std::fgets(buf, sizeof buf, stdin))
        return false;
    return buf[0] == 'y' || buf[0] == 'Y' || std::string(buf).rfind("д", 0) == 0 || std::string(buf).rfind("Д", 0) == 0;
}

// Writing needs a yes: --yes, or a "y" typed at the terminal.
void Consent(const TGlobal& g, const QString& question)
{
    if (g.yes)
        return;
    if (!IsTerminal(0))
        throw ERefused(Z::tr("not a terminal: nothing is written without --yes"));
    const bool yes = Ask(question);
    Checkpoint();
    if (!yes)
        throw ERefused(Z::tr("declined: nothing written"));
}

std::string PcTime()
{
    const TLocalTime t = NowLocal();
    char b[16];
    std::snprintf(b, sizeof b, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
    return b;
}

int OutputStatus(int status)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    std::fprintf(stderr, "zenda: %s\n", Z::tr("standard output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))).toUtf8().constData());
    return status == kDone ? kDeviceError : status;
}
