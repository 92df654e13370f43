#include "actions/actions.h"

#include <QFileInfo>

#include <exception>
#include <utility>

#include "abort.h"
#include "changes.h"
#include "channels.h"
#include "settings.h"

using namespace Qt::StringLiterals;

namespace {
// The engineer said no: the action ends here, journaled as cancelled, and nothing is raised.
struct TCancelled {};

// A backup's name as the journal keeps it: relative to the data folder when inside it.
QString RelativeToDataFolder(const QString& file)
{
    const QString folder = DataFolder() + u'/';
    return file.startsWith(folder) ? file.mid(folder.size()) : file;
}

QStringList ToList(const std::vector<std::string>& v)
{
    QStringList l;
    for (const auto& s : v)
        l << QString::fromStdString(s);
    return l;
}
}  // namespace

TDeviceActions::TDeviceActions(TActionFace& face, TImageBuffer& image, QString program)
    : face_(face), image_(image), session_(face), records_(std::move(program))
{
    session_.SetObserver(&traffic_);  // kept for the journal when an action fails
}

const TActionResult& TDeviceActions::Journaled(const char* action, const std::function<void()>& body)
{
    result_ = TActionResult{};
    journalFailed_ = false;
    settled_ = false;
    TJournalLine& line = result_.line;
    line.action = QString::fromLatin1(action);
    line.port = face_.PortText();
    line.id = NewRecordId();  // its begun line, when it writes, shares it
    traffic_.Clear();
    face_.ActionBegins();
    try {
        face_.OpenLine(session_);
        session_.Freshen();  // nothing is sent yet: a line lost while idle is opened afresh here
        body();
    } catch (const TCancelled&) {
        result_.cancelled = true;
        if (!settled_)
            Finish(u"отменено"_s);
        return result_;
    } catch (const EAbort&) {
        const QString shown = face_.ShownError();
        if (!settled_)
            Finish(shown.isEmpty() ? u"отменено"_s : shown);
        throw;
    } catch (const std::exception& e) {
        if (!settled_)
            Finish(face_.FailureText(e));
        throw;
    }
    result_.done = !result_.cancelled;
    if (!settled_)
        Finish(result_.cancelled ? u"отменено"_s : u"выполнено"_s);
    return result_;
}

void TDeviceActions::Settle()
{
    // The write is verified: its line goes to the journal now, with the write's time, before any
    // box is shown. A program killed while a box is open keeps the write's outcome and its image.
    Finish(u"выполнено"_s);
    settled_ = true;
}

void TDeviceActions::JournalLeave(const std::function<void()>& leave)
{
    // Its own line, after the initialization's: whether the device left initialization mode is
    // on record (the protocol states it), and the initialization's line keeps its own time.
    TJournalLine l;
    l.action = u"leave"_s;
    l.port = result_.line.port;
    l.model = result_.line.model;
    l.serial = QString::number(TDeviceSettings(image_).SerialNumber());
    l.address = QString::number(TDeviceSettings(image_).Address());
    l.id = NewRecordId();
    traffic_.Clear();
    auto write = [&](const QString& outcome) {
        l.outcome = outcome;
        l.time = LocalStamp();
        if (outcome != u"выполнено" && !traffic_.Empty())
            l.traffic = records_.SaveTraffic(traffic_.Text(), l.action);
        if (records_.Journal(l))
            face_.Journaled();
        else if (!journalFailed_)
            face_.JournalFailed(records_.JournalError());
    };
    try {
        leave();
    } catch (const EAbort&) {
        const QString shown = face_.ShownError();
        write(shown.isEmpty() ? u"выход из режима инициализации не выполнен"_s : shown);
        throw;
    } catch (const std::exception& e) {
        write(face_.FailureText(e));
        throw;
    }
    write(u"выполнено"_s);
}

void TDeviceActions::Finish(const QString& outcome)
{
    TJournalLine& line = result_.line;
    line.outcome = outcome;
    line.time = LocalStamp();
    const bool failed = outcome != u"выполнено" && outcome != u"отменено";
    if (failed && !traffic_.Empty())
        line.traffic = records_.SaveTraffic(traffic_.Text(), line.action);
    if (records_.Journal(line))
        face_.Journaled();
    else if (!journalFailed_)  // said once an action
        face_.JournalFailed(records_.JournalError());
}

void TDeviceActions::ReadDevice(bool withModel)
{
    session_.CheckOpen();
    TDeviceSettings settings(image_);
    if (withModel) {
        result_.model = session_.ReadDeviceVersion();
        result_.modelAsked = true;
        result_.line.model = ModelName(result_.model);
        face_.ModelRead(result_.model);
        face_.Checkpoint();
    }
    session_.ReadDataFromDevice(image_);
    result_.read = image_;
    if (!withModel)
        result_.line.model = face_.KnownModel(settings.SerialNumber());
    result_.line.serial = QString::number(settings.SerialNumber());
    result_.line.address = QString::number(settings.Address());
    face_.Checkpoint();
}

void TDeviceActions::WriteImage()
{
    face_.Checkpoint();
    TJournalLine& line = result_.line;
    if (!noBackup) {
        try {
            line.backup = records_.SaveBackup(result_.read, line.action, line.port, line.model);  // as read
        } catch (const std::exception& e) {
            // No backup, no write, unless the engineer says so; "Нет" is the default.
            TActionFace::TQuestion q(TActionFace::TQuestion::WithoutBackup);
            q.reason = QString::fromUtf8(e.what());
            q.text = u"Не удалось сохранить резервную копию в "_s + DataFolder() + u" ("_s + q.reason +
                     u"). Продолжить без нее?"_s;
            if (!face_.Ask(q))
                throw TCancelled{};
        }
    }
    line.changes = ToList(DescribeChanges(result_.read, image_));
    face_.WriteBegins(line);  // a face that keeps numbers records this one first, or ends it here
    // On the disk before the first byte of the write: a program killed or a power cut during
    // the write still leaves it on record, with its backup.
    TJournalLine begun = line;
    begun.outcome = TServiceRecords::kBegun;
    begun.time = LocalStamp();
    journalFailed_ = !records_.Journal(begun, true);
    if (journalFailed_)
        face_.JournalFailed(records_.JournalError());
    result_.writeBegan = true;
    std::string failure;
    std::exception_ptr failed;
    try {
        session_.SendInitData(image_, writeOnce ? 1 : 3);
    } catch (const std::exception& e) {
        failure = e.what();
        failed = std::current_exception();
    }
    if (failed) {
        // It may have reached the device all the same: one silent read says which image it holds.
        result_.held = session_.HeldAfterFailedWrite(result_.read, image_);
        line.changes.prepend(QString::fromUtf8(TDeviceSession::HeldText(*result_.held)));
        // Read back whole as the image intended: written and verified, by the read alone. The
        // station tells the operator what to do with such a device itself.
        if (writeOnce && *result_.held != TDeviceSession::THeld::New)
            std::rethrow_exception(failed);
        if (!writeOnce)  // one message for the failed write, and in it what the device holds now
            face_.ErrorAbort(failure + (failure.ends_with('.') ? "\n" : ".\n") + TDeviceSession::HeldAdvice(*result_.held),
                             "Ошибка");
    }
    result_.wrote = true;
    result_.written = image_;  // the exchange has read it back and compared it
    // Kept with the journal line, so that a protocol made later shows what was written then.
    line.written = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(image_.Image()), kImageSize).toHex().toUpper());
}

void TDeviceActions::CheckWrite(bool typesAlways, uint8_t model)
{
    const QStringList refused = ToList(WriteRefusals(result_.read, image_, model, typesAlways));
    if (refused.isEmpty())
        return;
    const QString name = TDeviceSettings::ModelIndex(model) < 0 ? QString() : ModelName(model) + u' ';
    face_.Refuse(u"Прибор "_s + name + u"не примет эти настройки: "_s + refused.join(u"; "_s) +
                 u". Ничего не записано"_s);
}

const TActionResult& TDeviceActions::Read()
{
    return Journaled("read", [this] {
        TWaitScope wait(face_);
        ReadDevice(true);  // the model is shown, not stored: the page's model changes only by hand
    });
}

const TActionResult& TDeviceActions::Initialize(const TEdit& edit, TLeave leave,
                                                const std::optional<TLookedDevice>& looked)
{
    return Journaled("init", [&] {
        TWaitScope wait(face_);
        ReadDevice(true);
        TDeviceSettings settings(image_);
        // The page's settings are another device's when the cable was moved after its read.
        const int serial = settings.SerialNumber();
        if (looked && (looked->model != result_.model || looked->serial != serial))
            face_.Refuse(u"Подключен прибор %1 № %2, а на странице прибор %3 № %4, считанный ранее. Ничего не "
                         u"записано: считайте подключенный прибор (\"Считать\") и проверьте настройки"_s
                             .arg(ModelName(result_.model))
                             .arg(serial)
                             .arg(ModelName(looked->model))
                             .arg(looked->serial));
        settings.SetModelCode(result_.model);
        if (!edit())
            throw TCancelled{};
        settings.ClearCounters();
        settings.StampClock();
        CheckWrite(true, result_.model);
        WriteImage();
        Settle();
        TActionFace::TQuestion q(TActionFace::TQuestion::LeaveAfterInit);
        q.text = u"Прибор проинициализирован успешно. Выйти из режима инициализации?"_s;
        q.defaultYes = true;
        const bool yes = leave == TLeave::Yes || (leave == TLeave::Ask && face_.Ask(q));
        if (yes && face_.StopRequested()) {
            JournalLeave([] { throw std::runtime_error("выход из режима инициализации не выполнен: прервано"); });
            return;
        }
        if (!yes)
            return;
        // The initialization itself is done, verified and journaled; the leave's line says the rest.
        JournalLeave([this] { session_.LeaveInitMode(); });
        result_.left = true;
    });
}

const TActionResult& TDeviceActions::Leave()
{
    return Journaled("leave", [this] {
        session_.CheckOpen();
        if (askModel)  // the journal's line names the device that left (the command line asks)
            ReadDevice(true);
        {
            TWaitScope wait(face_);
            session_.LeaveInitMode();
        }
        result_.left = true;
        face_.Inform(u"Выход из режима инициализации произведен успешно"_s);
    });
}

const TActionResult& TDeviceActions::Change(const char* action, const TEdit& edit, const QString& doneText)
{
    return Journaled(action, [&] {
        ReadDevice(askModel);
        if (askModel)
            TDeviceSettings(image_).SetModelCode(result_.model);
        if (!edit())
            throw TCancelled{};
        CheckWrite(false, askModel ? result_.model : 0);  // unasked, the model's own rules are not known
        WriteImage();
        Settle();
        face_.Inform(doneText);
    });
}

const TActionResult& TDeviceActions::Rtc(const TEdit& edit)
{
    return Change("rtc", edit, u"Автокоррекция RTC произведена успешно"_s);
}

const TActionResult& TDeviceActions::Counters(const TEdit& edit)
{
    return Change("counters", edit, u"Счетчики установлены"_s);
}

const TActionResult& TDeviceActions::Restore(const QString& file, const std::function<TImageBuffer()>& load,
                                             bool withCounters, int undone)
{
    return Journaled("restore", [&] {
        // The line names the file restored from, however the restore ends.
        struct NameSource {
            QStringList& changes;
            QString text;
            bool done = false;
            void Now()
            {
                if (!std::exchange(done, true))
                    changes.prepend(text);
            }
            ~NameSource() { Now(); }
        } name{result_.line.changes, u"из резервной копии: "_s + RelativeToDataFolder(file)};
        const TImageBuffer backup = load();
        {
            TWaitScope wait(face_);
            ReadDevice(true);
            TDeviceSettings(image_).SetModelCode(result_.model);
        }
        const TImageBuffer target = RestoredImage(image_, backup, withCounters);
        TImageBuffer b = backup;
        const int backupSerial = TDeviceSettings(b).SerialNumber();
        const int deviceSerial = TDeviceSettings(image_).SerialNumber();
        const bool sameDevice = backupSerial == deviceSerial || deviceSerial == undone;
        // A device's own backup always goes back (the undo must never be closed); one that did not
        // name its model is held to the rule of every write; another device's is checked whole:
        // nothing the connected model does not take is written, whatever the backup holds.
        const QString backupModel = TServiceRecords::BackupModel(file);
        const QStringList refused =
            sameDevice && backupModel == result_.line.model ? QStringList()
            : sameDevice && backupModel.isEmpty()           ? ToList(WriteRefusals(image_, target, result_.model, false))
                                                            : ToList(ModelRefusals(target, result_.model, withCounters));
        if (!refused.isEmpty())
            face_.Refuse(u"Резервная копия не подходит к подключенному прибору "_s + result_.line.model + u": "_s +
                         refused.join(u"; "_s) + u". Ничего не записано"_s);
        TActionFace::TQuestion q(TActionFace::TQuestion::Restore);
        q.changes = ToList(DescribeChanges(image_, target));
        if (q.changes.isEmpty()) {
            face_.Inform(u"Прибор уже хранит настройки этой резервной копии"_s);
            return;
        }
        // Writing a device is a deliberate "Да": Enter or Esc alone writes nothing.
        q.defaultYes = false;
        q.note = TServiceRecords::OtherModelNote(file, result_.line.model);
        // The question comes last, so that the box's closing period never lands on a value.
        q.text = u"Записать в прибор из резервной копии:\n"_s + (q.note.isEmpty() ? QString() : q.note + u".\n"_s) +
                 q.changes.join(u'\n') + u"\nПродолжить?"_s;
        if (!face_.Ask(q))
            throw TCancelled{};
        if (!sameDevice) {
            TActionFace::TQuestion s(TActionFace::TQuestion::OtherSerial);
            s.backupSerial = backupSerial;
            s.deviceSerial = deviceSerial;
            s.defaultYes = false;
            s.text =
                u"Резервная копия сделана с прибора № %1, подключен прибор № %2. Записать в него настройки "
                u"другого прибора?"_s.arg(backupSerial)
                    .arg(deviceSerial);
            if (!face_.Ask(s))
                throw TCancelled{};
        }
        image_ = target;
        {
            TWaitScope wait(face_);
            WriteImage();
        }
        name.Now();  // the line names its file before it is journaled, now
        Settle();
        face_.Inform(u"Настройки восстановлены из резервной копии"_s);
    });
}

const TActionResult& TDeviceActions::Backup(const QString& path)
{
    return Journaled("backup", [&] {
        ReadDevice(true);
        TDeviceSettings(image_).SetModelCode(result_.model);
        TJournalLine& line = result_.line;
        try {
            if (path.isEmpty()) {
                line.backup = records_.SaveBackup(image_, line.action, line.port, line.model);
            } else {
                records_.SaveBackupAs(image_, line.action, line.port, line.model, path);
                line.backup = QFileInfo(path).absoluteFilePath();
            }
        } catch (const std::exception& e) {
            face_.Refuse(u"Не удалось сохранить резервную копию: "_s + QString::fromUtf8(e.what()));
        }
    });
}
