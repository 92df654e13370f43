// The run of one command: the port, the read, the backup, the verified write, the journal line;
// read, leave and rtc.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <ctime>

#include "changes.h"
#include "editmask.h"
#include "program.h"
#include "settingsstore.h"

using namespace Qt::StringLiterals;

// The journal's line of this action: begun when the port is opened, ended once.
void TProgram::Finish(const std::string& outcome)
{
    if (!journaling_)
        return;
    journaling_ = false;
    line_.outcome = QString::fromStdString(outcome);
    if (outcome != "выполнено" && !traffic_.Empty())
        line_.traffic = records_.SaveTraffic(traffic_.Text(), line_.action);
    if (!records_.Journal(line_))
        std::fprintf(stderr, "zenda: the service journal cannot be written: %s\n",
                     records_.JournalError().toUtf8().constData());
}

void TProgram::Open(const char* action)
{
    line_ = TJournalLine{};
    line_.action = QString::fromLatin1(action);
    int comIndex = 0;
    const bool isPath = g_.port.startsWith(u'/') || g_.port.startsWith(u"\\\\"_s);  // or \\.\COM20
    if (isPath) {
        const std::string path = g_.port.toStdString();
        SetPortNameResolver([path](const std::string&) { return path; });
    } else {
        int n = g_.port.isEmpty() ? StoredComNumber() : -1;
        if (!g_.port.isEmpty()) {
            bool ok = false;
            n = g_.port.startsWith(u"COM"_s, Qt::CaseInsensitive) ? g_.port.mid(3).toInt(&ok) : 0;
            if (!ok || n < 1 || n > 16)
                throw ERefused("--port is COM1..COM16 or a device path, not '" + g_.port.toStdString() + "'");
        }
        comIndex = n < 1 ? 0 : n - 1;
    }
    int baud = g_.baud;
    if (!baud)
        baud = StoredBaudRate() == 1 ? 9600 : 4800;
    session_.SetObserver(&observer_);
    observer_.trace = g_.trace;
    observer_.progress = IsTerminal(2) ? &ui_.progress : nullptr;
    observer_.next = &traffic_;
    const std::string com = isPath ? std::string() : "COM" + std::to_string(comIndex + 1);
    line_.port = QString::fromStdString(com.empty() ? g_.port.toStdString() : com + " -> " + ResolvePortName(com));
    journaling_ = true;
    try {
        session_.Open(comIndex, baud);
    } catch (const std::exception& e) {
        openError_ = e.what();
        throw;
    }
    Checkpoint();
}

void TProgram::ReadDevice()
{
    session_.CheckOpen();
    settings_.SetModelCode(session_.ReadDeviceVersion());
    session_.ReadDataFromDevice(image_);
    line_.model = ModelName(settings_.ModelCode());
    line_.serial = QString::number(settings_.SerialNumber());
    line_.address = QString::number(settings_.Address());
    read_ = image_;
    LoadTable();
    Checkpoint();
}

// The image as read, saved before anything is written (unless --no-backup).
void TProgram::Backup()
{
    if (g_.noBackup)
        return;
    try {
        line_.backup = records_.SaveBackup(read_, line_.action, line_.port, line_.model);  // as read, not as changed
    } catch (const std::exception& e) {
        throw ERefused("Не удалось сохранить резервную копию в " + DataFolder().toStdString() + " (" + e.what() +
                       "); nothing written (--no-backup writes without one)");
    }
}

void TProgram::Write()
{
    Checkpoint();
    Backup();
    line_.changes.clear();
    for (const auto& c : DescribeChanges(read_, image_))
        line_.changes << QString::fromStdString(c);
    try {
        session_.SendInitData(image_);
    } catch (...) {
        // It may have reached the device all the same: one silent read says which image it holds.
        held_ = session_.HeldAfterFailedWrite(read_, image_);
        line_.changes.prepend(QString::fromUtf8(TDeviceSession::HeldText(*held_)));
        throw;
    }
    LoadTable();  // what is printed is what was written
}

// After a failed write: "new", "old" or "unknown"; empty when no write failed.
QString TProgram::Held() const
{
    if (!held_)
        return {};
    return *held_ == TDeviceSession::THeld::New   ? u"new"_s
           : *held_ == TDeviceSession::THeld::Old ? u"old"_s
                                                  : u"unknown"_s;
}

void TProgram::LoadTable()
{
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
    QJsonObject o = SettingsJson(const_cast<TImageBuffer&>(image_), const_cast<TChannelTable&>(table_));
    o[u"ok"_s] = ok;
    return o;
}

int TProgram::Read()
{
    Open("read");
    ReadDevice();
    return Emit(Result(true));
}

int TProgram::Leave()
{
    Consent(g_, "Leave initialization mode?");
    Open("leave");
    session_.CheckOpen();
    session_.LeaveInitMode();
    Say("Выход из режима инициализации произведен успешно");
    QJsonObject o;
    o[u"ok"_s] = true;
    return Emit(o);
}

int TProgram::Rtc(const QString& arg)
{
    bool ok = false;
    const int seconds = arg.toInt(&ok);
    if (!ok || !range::Correction(seconds))
        throw ERefused("the correction is a whole number of seconds, -25..25, not '" + arg.toStdString() + "'");
    Consent(g_, "Set the RTC correction to " + std::to_string(seconds) + " s?");
    Open("rtc");
    ReadDevice();
    settings_.SetCorrection(seconds);
    Write();
    Say("Автокоррекция RTC произведена успешно");
    return Emit(Result(true));
}

int TProgram::Emit(const QJsonObject& o)
{
    if (g_.json)
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    else
        PrintForPeople(o);
    return kDone;
}

void TProgram::Say(const std::string& text)
{
    ui_.progress.Clear();
    if (!g_.json)
        std::fprintf(stderr, "%s\n", text.c_str());
}

int TProgram::Done(int status)
{
    Finish("выполнено");
    return status;
}
