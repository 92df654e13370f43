// The main window's handlers: each device action is one call into the actions with the
// window's answers; the field checks, the keys and the channel table's events.
#include "main.h"
#include "version.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QProcess>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "channelgrid.h"
#include "clockverify.h"
#include "ctrcorr.h"
#include "guard.h"
#include "journal.h"
#include "maskedit.h"
#include "msgs.h"
#include "protocol.h"
#include "protocoldlg.h"
#include "rtccorr.h"
#include "base/settingsstore.h"
#include "teamlink.h"
#include "team/teamsync.h"

void RaiseConvertError(const QString& text)
{
    throw std::runtime_error(
        QString::asprintf("'%s' не является допустимым значением целого числа", text.toUtf8().constData())
            .toStdString());
}

int StrToInt(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok)
        RaiseConvertError(text);
    return v;
}

namespace {
int StrToIntDef(const QString& text, int def)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : def;
}

QString PadRight(const QString& s, int n) { return s.leftJustified(n, u' '); }

// Why a backup file cannot be restored, in the window's language.
QString ImageFileProblem(const QString& file, const TImageFileError& e)
{
    auto bytes = [](const QString& n) {
        const int v = n.toInt();
        const bool few = v % 10 >= 2 && v % 10 <= 4 && (v % 100 < 12 || v % 100 > 14);
        return n + (few ? QStringLiteral(" байта") : QStringLiteral(" байт"));
    };
    switch (e.kind) {
    case TImageFileError::Open:
        return QFileInfo::exists(file) ? QStringLiteral("нет доступа к файлу") : QStringLiteral("файл не найден");
    case TImageFileError::NotRegular: return QStringLiteral("это не файл резервной копии");
    case TImageFileError::TooLarge: return QStringLiteral("файл слишком велик (%1)").arg(bytes(e.detail));
    case TImageFileError::BadByte: return QStringLiteral("\"%1\" не является шестнадцатеричным байтом").arg(e.detail);
    case TImageFileError::Count: return QStringLiteral("в файле %1 вместо 72").arg(bytes(e.detail));
    case TImageFileError::None: break;
    }
    return QStringLiteral("файл не прочитан");
}
}  // namespace

void TForm1::Form_Create()
{
    ApplyModel1();
    PageControl1->setCurrentIndex(0);
    ui_.portText = [this] { return PortText(); };
    ui_.modelRead = [this](uint8_t code) {
        // The page read from another device keeps its model shown: the initialization refuses.
        if (!looked_ || looked_->model == code)
            Device_Version->setCurrentIndex(TDeviceSettings::ModelIndex(code));  // no model change
    };
    ui_.openChosen = [this] {
        if (SelectedIndex(Com_Port_Name) < 0 || SelectedIndex(Com_Port_Speed) < 0)
            return;
        try {
            DoOpenCom();
        } catch (const std::exception&) {
            // Still missing: "COM-Порт не открыт", as before.
        }
    };
    ui_.knownModel = [this](int serial) {
        const auto it = knownModels_.constFind(serial);
        return it == knownModels_.cend() ? QString() : ModelName(*it);
    };
    actions_ = std::make_unique<TDeviceActions>(ui_, image_, QStringLiteral("zenda-init " ZENDA_VERSION));
    cdsChannels.Recreate();
    for (QComboBox* c : findChildren<QComboBox*>())
        if (c->count() > 0)
            c->setCurrentIndex(0);
    {
        const auto s = OpenSettings();
        // A stored value that is no item's (text, out of range, any 32-bit extreme) selects
        // nothing; it is checked before any arithmetic.
        auto index = [&](const char* key, int offset, const QComboBox* combo) {
            bool ok = false;
            const qlonglong v = s->value(QString::fromLatin1(key)).toLongLong(&ok);
            return ok && v >= offset && v - offset < combo->count() ? static_cast<int>(v - offset) : -1;
        };
        if (s->contains(QStringLiteral("ComNumber")))
            Com_Port_Name->setCurrentIndex(index("ComNumber", 1, Com_Port_Name));
        if (s->contains(QStringLiteral("BaudRate")))
            Com_Port_Speed->setCurrentIndex(index("BaudRate", 0, Com_Port_Speed));
    }
    ShowPortPaths();
    RunGuarded([this] { DoOpenCom(); });  // shown, and the start goes on with the port closed
    cdsChannels.AppendStartRows();
}

void TForm1::ConnectHandlers()
{
    auto guarded = [](auto f) { return [f] { RunGuarded(f); }; };
    // A choice from the list or an item chosen by typing: the handlers of a user change only.
    for (QComboBox* c : {Com_Port_Name, Com_Port_Speed}) {
        connect(c, &QComboBox::activated, this, guarded([this] { Change_Port_and_Speed(); }));
        // The list completes the typed text only after this signal: look one event turn later.
        connect(c->lineEdit(), &QLineEdit::textEdited, this, [this, c] {
            if (typedPending_.contains(c))
                return;
            typedPending_ << c;
            QTimer::singleShot(0, this, [this, c] {
                typedPending_.removeAll(c);
                RunGuarded([this, c] { ConnectionTyped(c); });
            });
        });
        connect(c->lineEdit(), &QLineEdit::editingFinished, this, [this, c] { ConnectionLeft(c); });
    }
    connect(Device_Version, &QComboBox::activated, this, guarded([this] { Device_VersionChange(); }));
    connect(Device_Version->lineEdit(), &QLineEdit::textEdited, this, guarded([this] { Device_VersionChange(); }));
    connect(Button_Exit, &QPushButton::clicked, this, guarded([this] { Button_ExitClick(); }));
    connect(Button_Fixed, &QToolButton::clicked, this, guarded([this] { Button_FixedClick(); }));
    connect(Button_Read_Ini, &QPushButton::clicked, this, guarded([this] { Button_Read_IniClick(); }));
    connect(Button_Init, &QPushButton::clicked, this, guarded([this] { Button_InitClick(); }));
    connect(Button_Deinit, &QPushButton::clicked, this, guarded([this] { Button_DeinitClick(); }));
    connect(BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
    connect(BitBtn3, &QPushButton::clicked, this, guarded([this] { BitBtn3Click(); }));
    for (QPushButton* b : {BitBtn4, Button_Protocol})
        connect(b, &QPushButton::clicked, this, guarded([this] { ProtocolClick(); }));
    connect(Number, &TMaskEdit::Exited, this, guarded([this] { NumberExit(); }));
    connect(Address, &TMaskEdit::Exited, this, guarded([this] { AddressExit(); }));
    Number->SetExitCheck([this] { return NumberAccepted(); });
    Address->SetExitCheck([this] { return AddressAccepted(); });
    connect(DBGrid1, &QTableView::clicked, this,
            [this](const QModelIndex& i) { RunGuarded([this, i] { DBGrid1CellClick(i.row()); }); });
    DBGrid1->OnInsert = [this] { RunGuarded([this] { cdsChannels.Insert(cdsChannels.RowCount()); }); };
    DBGrid1->OnDelete = [this] { RunGuarded([this] { cdsChannels.Delete(cdsChannels.Current()); }); };
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& i) { cdsChannels.SetCurrent(i.row()); });
    qApp->installEventFilter(this);  // key preview
}

void TForm1::FieldError(QWidget* field, const QString& message)
{
    // A field on a page not shown (a page change raced the check) comes back into view.
    for (QWidget* page : {TabSheet1, TabSheet3})
        if (page->isAncestorOf(field))
            PageControl1->setCurrentWidget(page);
    field->setFocus();
    ErrorAbort(message, QStringLiteral("Ошибка"));
}

// ------------------------------------------------------------------ actions

void TForm1::Button_Read_IniClick() { ReadIniParams(); }

void TForm1::ReadIniParams() { ReadSettingsFromDevice(); }

void TForm1::Looked(const TActionResult& r)
{
    if (!r.modelAsked || TDeviceSettings::ModelIndex(r.model) < 0)
        return;
    TImageBuffer read = r.read, now = r.wrote ? r.written : r.read;
    knownModels_.insert(TDeviceSettings(read).SerialNumber(), r.model);
    const int serial = TDeviceSettings(now).SerialNumber();
    knownModels_.insert(serial, r.model);
    if (r.line.action == u"read" || r.wrote)  // the page shows this device now
        looked_ = TLookedDevice{r.model, serial};
}

void TForm1::ReadSettingsFromDevice()
{
    Looked(actions_->Read());
    ShowDeviceSettings(actions_->Result().model);
    otherWrite_.Ask(settings_.SerialNumber());
    // The protocol buttons make the protocol of the device on the page, never of the one before,
    // and only while it holds what that write left.
    unsure_.reset();
    TImageBuffer written;
    if (!WrittenImage(lastWrite_, written) || TDeviceSettings(written).SerialNumber() != settings_.SerialNumber() ||
        !SettingsDiffer(written, image_).isEmpty()) {
        lastWrite_ = {};
        BitBtn4->setEnabled(false);
        Button_Protocol->setEnabled(false);
    }
}

void TForm1::ShowDeviceSettings(uint8_t modelCode)
{
    Device_Version->setCurrentIndex(TDeviceSettings::ModelIndex(modelCode));  // no model change
    Number->SetValue(PadRight(QString::number(settings_.SerialNumber()), 5));
    Address->SetValue(settings_.Address() == 0 ? QStringLiteral("  ")
                                               : PadRight(QString::number(settings_.Address()), 2));
    CheckBox1->setChecked(settings_.V2Reset());
    LoadChannels();
    Device_Time->setText(QString::fromStdString(settings_.StampTimeText()));
    Device_Date->setText(QString::fromStdString(settings_.StampDateText()));
}

void TForm1::Button_DeinitClick() { actions_->Leave(); }

void TForm1::Button_InitClick() { InitializeDevice(); }

void TForm1::InitializeDevice()
{
    otherWrite_.Tell(settings_.SerialNumber());
    if (ClockVerifyForm->exec() != QDialog::Accepted)
        return;
    InitializeDeviceConfirmed();
}

void TForm1::InitializeDeviceConfirmed()
{
    TAfterWrite after{*this};  // also when the leave after a verified write fails
    actions_->Initialize(
        [this] {
            // The fields' own range checks, so that no out-of-range value is cut to another one.
            ValidateDeviceNumber();
            settings_.SetSerialNumber(StrToInt(Number->Value().trimmed()));
            ValidateDeviceAddress();
            const QString address = Address->Value().trimmed();
            settings_.SetAddress(address.isEmpty() ? 0 : StrToInt(address));
            settings_.SetV2Reset(CheckBox1->isChecked());
            StoreChannels();
            return true;
        },
        TDeviceActions::TLeave::Ask, looked_);
}

void TForm1::BitBtn1Click()
{
    otherWrite_.Tell(settings_.SerialNumber());
    TAfterWrite after{*this};
    actions_->Rtc([this] {
        if (!RTCCorrectionForm->EditCorrection(settings_.CorrectionRef()))
            return false;
        QApplication::processEvents();  // the closed dialog leaves the screen before the line blocks
        return true;
    });
}

void TForm1::BitBtn2Click()
{
    otherWrite_.Tell(settings_.SerialNumber());
    TAfterWrite after{*this};
    actions_->Counters([this] {
        return CountersForm->exec() == QDialog::Accepted;
    });
}

// ------------------------------------------------------------------ the journal and backups

void TForm1::BitBtn3Click()
{
    JournalForm->Load();
    JournalForm->exec();
}

TForm1::TAfterWrite::~TAfterWrite()
{
    const TActionResult& r = form.actions_->Result();
    form.Looked(r);
    if (r.wrote) {
        form.unsure_.reset();
    } else if (r.writeBegan) {
        // A write that failed after its first byte: the device may hold its image, and the
        // protocol of an earlier write no longer describes it.
        TImageBuffer read = r.read;
        form.unsure_ = TUnsureWrite{TDeviceSettings(read).SerialNumber(),
                                    r.held.value_or(TDeviceSession::THeld::Unknown), r.read, form.image_};
    }
    if (!r.done || !HasProtocol(r.line))
        return;
    form.lastWrite_ = r.line;
    form.BitBtn4->setEnabled(true);
    form.Button_Protocol->setEnabled(true);
}

void TForm1::ProtocolClick()
{
    TImageBuffer written;
    if (unsure_ && WrittenImage(lastWrite_, written) && TDeviceSettings(written).SerialNumber() == unsure_->serial) {
        // The page is signed as what the device holds: not after a failed write that changed it.
        QStringList differ;
        if (unsure_->held != TDeviceSession::THeld::Unknown)
            differ = SettingsDiffer(written, unsure_->held == TDeviceSession::THeld::New ? unsure_->intended
                                                                                       : unsure_->before);
        if (unsure_->held == TDeviceSession::THeld::Unknown || !differ.isEmpty())
            ErrorAbort(QStringLiteral("Протокол не составлен: после сбоя записи прибор хранит не то, что описывает "
                                      "протокол записи %1: %2. Считайте прибор; протокол строки журнала составляется "
                                      "в \"Журнал\"")
                           .arg(QDateTime::fromString(lastWrite_.time, Qt::ISODate).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                                differ.isEmpty() ? QStringLiteral("неизвестно, какие настройки хранит прибор")
                                                 : differ.join(QStringLiteral("; "))),
                       QStringLiteral("Ошибка"));
    }
    if (HasProtocol(lastWrite_))
        ProtocolForm->Make(lastWrite_, QStringLiteral("zenda-init " ZENDA_VERSION));
}

QString TForm1::PortText() const
{
    const int i = SelectedIndex(Com_Port_Name);
    if (i < 0)
        return Com_Port_Name->currentText();
    const std::string com = "COM" + std::to_string(i + 1);
    return QString::fromStdString(com + " -> " + ResolvePortName(com));
}

void TForm1::RestoreBackup(const QString& file, bool withCounters, int undone)
{
    otherWrite_.Tell(settings_.SerialNumber());
    const auto load = [&file] {
        TImageBuffer backup;
        QString error;
        TImageFileError why;
        if (!TServiceRecords::LoadImageFile(file, backup, error, &why))
            ErrorAbort(file + QStringLiteral(": ") + ImageFileProblem(file, why), QStringLiteral("Ошибка"));
        return backup;
    };
    // The page shows what the device holds now, so that an initialization does not write the
    // settings from before the restore back.
    TAfterWrite after{*this};
    if (const auto& r = actions_->Restore(file, load, withCounters, undone); r.wrote)
        ShowDeviceSettings(r.model);
}

// ------------------------------------------------------------------ checks and keys

void TForm1::NumberExit() { ValidateDeviceNumber(); }
void TForm1::AddressExit() { ValidateDeviceAddress(); }

bool TForm1::NumberAccepted() const { return range::SerialNumber(StrToIntDef(Number->Value().trimmed(), -1)); }

bool TForm1::AddressAccepted() const
{
    const QString t = Address->Value().trimmed();
    if (t.isEmpty())
        return true;
    return range::Address(StrToIntDef(t, -1));
}

void TForm1::ValidateDeviceNumber()
{
    if (!NumberAccepted())
        FieldError(Number, QStringLiteral("Номер прибора должен быть числом от 0 до 65535"));
}

void TForm1::ValidateDeviceAddress()
{
    if (!AddressAccepted())
        FieldError(Address, QStringLiteral("Сетевой адрес прибора должен быть числом от 1 до 63"));
}

void TForm1::FormKeyDown(int key)
{
    if (key != Qt::Key_Control || PageControl1->currentWidget() != TabSheet1)
        return;
    if (Number->hasFocus())
        Address->setFocus(Qt::OtherFocusReason);
    else
        Number->setFocus(Qt::OtherFocusReason);
}

bool TForm1::PageChangeRefused()
{
    auto* field = qobject_cast<TMaskEdit*>(QApplication::focusWidget());
    return field && field->window() == this && field->RefuseLeaving();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        ctrlAlone_ = false;
        // The tab bar changes the page on the press and takes no focus from the field, so
        // the field's own exit check would come after the page had changed.
        if (watched == PageControl1->tabBar() && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
            const int tab = PageControl1->tabBar()->tabAt(static_cast<QMouseEvent*>(e)->position().toPoint());
            if (tab >= 0 && tab != PageControl1->currentIndex() && PageChangeRefused())
                return true;
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // Key preview: the key once, at its first receiver (the focus widget) in this window.
        QWidget* focus = QApplication::focusWidget();
        const auto* k = static_cast<QKeyEvent*>(e);
        if (e->type() == QEvent::KeyPress && !k->isAutoRepeat())
            ctrlAlone_ = k->key() == Qt::Key_Control;  // any other key makes it a shortcut
        if (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this ||
            !(watched == focus || (!focus && watched == this)))
            break;
        if (e->type() == QEvent::KeyRelease) {
            // Ctrl pressed and released alone jumps; Ctrl with a key is that key's shortcut.
            if (k->key() == Qt::Key_Control && !k->isAutoRepeat() && ctrlAlone_) {
                ctrlAlone_ = false;
                FormKeyDown(k->key());
            }
            break;
        }
        // The page keys of the tab widget, like a click on its tabs.
        const bool pageKey =
            (k->modifiers() & Qt::ControlModifier) && (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab ||
                                                       k->key() == Qt::Key_PageUp || k->key() == Qt::Key_PageDown);
        if (pageKey && PageChangeRefused())
            return true;
        // The pin is a tool button, which has no Enter of its own; a focused button takes Enter.
        if (watched == Button_Fixed && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
            Button_Fixed->click();
            return true;
        }
        break;
    }
    default: break;
    }
    return QWidget::eventFilter(watched, e);
}

void TForm1::Button_FixedClick()
{
    const bool on = Button_Fixed->isChecked();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    show();  // changing the flag hides the window
}

void TForm1::Button_ExitClick() { close(); }

void TForm1::closeEvent(QCloseEvent* e)
{
    bool yes = false;
    RunGuarded([&] {
        yes = AskYesNo(QStringLiteral("Вы действительно хотите выйти из программы?"), QStringLiteral("Подтвердите"));
    });
    if (yes)
        e->accept();
    else
        e->ignore();
}

// ------------------------------------------------------------------ channel table

void TForm1::DBGrid1CellClick(int row) { cdsChannels.CellClick(row); }
void TForm1::Device_VersionChange() { cdsChannels.ModelChange(SelectedIndex(Device_Version)); }
void TForm1::ApplyModel1() { cdsChannels.ApplyModel1(); }
void TForm1::ApplyModel23() { cdsChannels.ApplyModel23(SelectedIndex(Device_Version)); }

void TForm1::LoadChannels()
{
    DBGrid1->setUpdatesEnabled(false);
    cdsChannels.LoadChannels();
    DBGrid1->setCurrentIndex(dsChannels->index(
        cdsChannels.Current(), DBGrid1->currentIndex().isValid() ? DBGrid1->currentIndex().column() : colCenaDiv));
    DBGrid1->setUpdatesEnabled(true);
    DBGrid1->viewport()->update();
}

void TForm1::StoreChannels()
{
    cdsChannels.StoreChannels([this](int row) {
        DBGrid1->setCurrentIndex(dsChannels->index(row, colTypeInSig));
        DBGrid1->setFocus();
        ErrorAbort(QStringLiteral("Не выбран тип входного сигнала!"), QStringLiteral("Ошибка"));
    });
}
