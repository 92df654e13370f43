// The command line's face on the device actions, and the commands read, leave and rtc.
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "program.h"
#include "base/settingsstore.h"

using namespace Qt::StringLiterals;

// ------------------------------------------------------------------ the face

void TCliFace::ErrorAbort(const std::string& Msg, const std::string& /*Caption*/)
{
    progress.Clear();
    std::fprintf(stderr, "zenda: %s\n", Human(Msg).c_str());
    ++errors;
    last = Msg;
    throw EAbort();
}

bool TCliFace::Ask(const TQuestion& q)
{
    switch (q.kind) {
    case TQuestion::WithoutBackup:
        throw ERefused(Z::tr("The backup could not be saved in %1 (%2); nothing written (--no-backup writes without one)")
                           .arg(DataFolder(), Human(q.reason)));
    case TQuestion::LeaveAfterInit:
        Say(u"Прибор проинициализирован успешно."_s);
        for (const auto& n : initNotes)
            Say(QString::fromStdString(n));
        return leave;
    case TQuestion::Restore:
        progress.Clear();
        for (const QString& line : (q.note.isEmpty() ? QStringList() : QStringList{q.note}) + q.changes)
            std::fprintf(stderr, "  %s\n", Human(line).toUtf8().constData());
        Consent(g_, (q.note.isEmpty() ? QString() : Human(q.note) + u". "_s) +
                        Z::tr("Restore these settings from %1?").arg(restoreFile));
        return true;
    case TQuestion::OtherSerial: {
        if (otherSerial)
            return true;
        const QString text = Z::tr("The backup is of serial number %1, the device is %2. Write another device's "
                                   "settings to this one?")
                                 .arg(q.backupSerial)
                                 .arg(q.deviceSerial);
        if (!IsTerminal(0))
            throw ERefused(text + u' ' + Z::tr("Give --other-serial to do so."));
        if (!::Ask(text))
            throw ERefused(Z::tr("declined: nothing written"));
        return true;
    }
    }
    return false;
}

void TCliFace::OpenLine(TDeviceSession& session)
{
    try {
        session.Open(comIndex, baud);
    } catch (const std::exception& e) {
        const int system = LastSystemError();  // before anything else may change it
        openError = e.what();
        // The driver's words say neither which port nor why: both follow them on the command line.
        // In the words of `zenda ports` where it has them, the user's language; else the system's.
#ifdef _WIN32
        const bool missing = system == 2 || system == 3, denied = system == 5, busy = system == 32;
        const std::string why = std::system_category().message(system);
#else
        const bool missing = system == ENOENT || system == ENXIO || system == ENODEV, denied = system == EACCES,
                   busy = system == EBUSY || system == EAGAIN;
        const std::string why = std::strerror(system);
#endif
        openReason = portText + u": "_s +
                     (missing  ? Z::tr("missing")
                      : denied ? Z::tr("no permission")
                      : busy   ? Z::tr("busy (open in another program)")
                      : system ? QString::fromLocal8Bit(why.c_str())
                               : Z::tr("cannot be opened"));
        throw;
    }
    Checkpoint();
}

void TCliFace::JournalFailed(const QString& error)
{
    std::fprintf(stderr, "zenda: %s\n",
                 Z::tr("the service journal cannot be written: %1").arg(Human(error)).toUtf8().constData());
}

void TCliFace::WriteBegins(const TJournalLine& line)
{
    bool ok = false;
    const int serial = line.serial.toInt(&ok);
    if (!ok)
        return;
    if (const QString note = OtherWriteNote(serial); !note.isEmpty()) {
        progress.Clear();
        std::fprintf(stderr, "zenda: %s\n", note.toUtf8().constData());  // told; the write is the engineer's call
    }
}

void TCliFace::Say(const QString& text)
{
    progress.Clear();
    if (!g_.json)
        std::fprintf(stderr, "%s\n", Human(text).toUtf8().constData());
}

// ------------------------------------------------------------------ the run

void TProgram::PreparePort()
{
    const bool isPath = g_.port.startsWith(u'/') || g_.port.startsWith(u"\\\\"_s);  // or \\.\COM20
    int comIndex = 0;
    if (isPath) {
        const std::string path = g_.port.toStdString();
        SetPortNameResolver([path](const std::string&) { return path; });
    } else {
        int n = g_.port.isEmpty() ? StoredComNumber() : -1;
        if (!g_.port.isEmpty()) {
            bool ok = false;
            n = g_.port.startsWith(u"COM"_s, Qt::CaseInsensitive) ? g_.port.mid(3).toInt(&ok) : 0;
            if (!ok || n < 1 || n > 16)
                throw ERefused(Z::tr("--port is COM1..COM16 or a device path, not '%1'").arg(g_.port));
        }
        comIndex = n < 1 ? 0 : n - 1;
    }
    face_.comIndex = comIndex;
    face_.baud = g_.baud ? g_.baud : StoredBaudRate() == 1 ? 9600 : 4800;
    actions_.Session().SetObserver(&observer_);
    observer_.trace = g_.trace;
    observer_.progress = IsTerminal(2) ? &face_.progress : nullptr;
    observer_.next = &actions_.Traffic();
    const std::string com = isPath ? std::string() : "COM" + std::to_string(comIndex + 1);
    face_.portText = QString::fromStdString(com.empty() ? g_.port.toStdString() : com + " -> " + ResolvePortName(com));
}

// After a failed write: "new", "old" or "unknown"; empty when no write failed.
QString TProgram::Held() const
{
    const auto& held = actions_.Result().held;
    if (!held)
        return {};
    return *held == TDeviceSession::THeld::New   ? u"new"_s
           : *held == TDeviceSession::THeld::Old ? u"old"_s
                                                 : u"unknown"_s;
}

void TProgram::LoadTable()
{
    settings_.SetModelCode(actions_.Result().model);
    table_.Recreate();
    table_.AppendStartRows();
    if (settings_.ModelCode() == kModelZenda1)
        table_.ApplyModel1();
    else
        table_.ApplyModel23(TDeviceSettings::ModelIndex(settings_.ModelCode()));
    table_.LoadChannels();
}

QJsonObject TProgram::Result(bool ok) const
{
    QJsonObject o = SettingsJson(image_);
    o[u"ok"_s] = ok;
    return o;
}

int TProgram::Emit(const QJsonObject& o)
{
    if (g_.json)
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    else
        PrintForPeople(o);
    return kDone;
}

int TProgram::Read()
{
    PreparePort();
    actions_.Read();
    readSerial_ = settings_.SerialNumber();
    LoadTable();
    return Emit(Result(true));
}

int TProgram::Leave()
{
    Consent(g_, Z::tr("Leave initialization mode?"));
    PreparePort();
    actions_.Leave();
    QJsonObject o;
    o[u"ok"_s] = true;
    return Emit(o);
}

int TProgram::Rtc(const QString& arg)
{
    bool ok = false;
    const int seconds = arg.toInt(&ok);
    if (!ok || !range::Correction(seconds))
        throw ERefused(Z::tr("the correction is a whole number of seconds, -25..25, not '%1'").arg(arg));
    Consent(g_, Z::tr("Set the RTC correction to %1 s?").arg(seconds));
    PreparePort();
    actions_.Rtc([&] {
        settings_.SetCorrection(seconds);
        return true;
    });
    LoadTable();  // what is printed is what was written
    return Emit(Result(true));
}
