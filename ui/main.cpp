#include "main.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "abort.h"
#include "changes.h"
#include "channelgrid.h"
#include "clockverify.h"
#include "ctrcorr.h"
#include "formutil.h"
#include "custdlg.h"
#include "guard.h"
#include "journal.h"
#include "maskedit.h"
#include "msgs.h"
#include "rtccorr.h"
#include "settingsstore.h"

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

// ------------------------------------------------------------------ the window

namespace {
QIcon PinIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QRectF(4, 1, 8, 8));
    p.drawLine(QPointF(8, 9), QPointF(8, 15));
    return QIcon(pm);
}
}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    BuildControls();
    Form_Create();
    ConnectHandlers();
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
    // A focused list's line edit says "editing finished" while the children are destroyed,
    // when this is no longer a TForm1.
    for (QComboBox* c : {Com_Port_Name, Com_Port_Speed})
        c->lineEdit()->disconnect(this);
    // The session closes the port's handle; the dialogs are children of the window.
}

void TForm1::CreateServiceDialogs()
{
    ClockVerifyForm = new TClockVerifyForm(this);
    RTCCorrectionForm = new TRTCCorrectionForm(this);
    CountersForm = new TCountersForm(image_, this);
    JournalForm = new TJournalForm(this);
    JournalForm->OnRestore = [this](const QString& file, bool withCounters) {
        RunGuarded([&] { RestoreBackup(file, withCounters); });
    };
}

void TForm1::BuildControls()
{
    setWindowTitle(QStringLiteral("Инициализация ЗЕНДА (v1.03)"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(524, 288);
    setFont(WindowFont());

    GroupConnection = new QGroupBox(QStringLiteral("Параметры соединения"), this);
    GroupConnection->setObjectName(QStringLiteral("GroupConnection"));
    GroupConnection->setGeometry(0, 0, 524, 49);
    LabelPort = MakeLabel(GroupConnection, "LabelPort", QStringLiteral("COM-порт:"), 8, 16, 60, 16);
    auto combo = [](QWidget* parent, const char* name, int x, int y, int w, const QStringList& items) {
        auto* c = new QComboBox(parent);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(true);  // typed text is accepted as well as a choice
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setGeometry(x, y, w, 21);
        return c;
    };
    Com_Port_Name =
        combo(GroupConnection, "Com_Port_Name", 76, 15, 65,
              {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4")});
    LabelSpeed = MakeLabel(GroupConnection, "LabelSpeed", QStringLiteral("Скорость обмена:"), 152, 16, 100, 16);
    Com_Port_Speed =
        combo(GroupConnection, "Com_Port_Speed", 264, 15, 65, {QStringLiteral("4800"), QStringLiteral("9600")});
    Button_Exit = MakeButton(GroupConnection, "Button_Exit", QStringLiteral("Выход"), 407, 15, 65, 25);
    Button_Fixed = new QToolButton(GroupConnection);
    Button_Fixed->setObjectName(QStringLiteral("Button_Fixed"));
    Button_Fixed->setGeometry(486, 15, 25, 25);
    Button_Fixed->setCheckable(true);
    Button_Fixed->setAutoRaise(true);  // flat
    Button_Fixed->setIcon(PinIcon());
    Button_Fixed->setToolTip(QStringLiteral("Поверх всех окон"));
    Button_Fixed->setAccessibleName(QStringLiteral("Поверх всех окон"));
    LabelPort->setBuddy(Com_Port_Name);
    LabelSpeed->setBuddy(Com_Port_Speed);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 48, 525, 241);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Инициализация"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Сервис"));
    PageControl1->setAccessibleName(QStringLiteral("Страницы"));

    QWidget* p1 = TabSheet1;
    LabelVersion = MakeLabel(p1, "LabelVersion", QStringLiteral("Тип прибора:"), 8, 8, 70, 16);
    Device_Version = combo(p1, "Device_Version", 80, 4, 73,
                           {QStringLiteral("ZENDA1"), QStringLiteral("ZENDA2"), QStringLiteral("ZENDA3")});
    LabelNumber = MakeLabel(p1, "LabelNumber", QStringLiteral("Заводской номер:"), 160, 8, 96, 16);
    auto maskEdit = [p1](const char* name, int x, int w, const char* mask, const QString& value) {
        auto* e = new TMaskEdit(p1);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(x, 4, w, 22);
        e->SetEditMask(mask);
        e->setMaxLength(static_cast<int>(value.size()));
        e->SetValue(value);
        return e;
    };
    Number = maskEdit("Number", 259, 41, "!99999;1;_", QStringLiteral("1    "));
    LabelAddress = MakeLabel(p1, "LabelAddress", QStringLiteral("Сетевой адрес:"), 312, 8, 80, 16);
    Address = maskEdit("Address", 393, 23, "!99;1;_", QStringLiteral("  "));
    LabelVersion->setBuddy(Device_Version);
    LabelNumber->setBuddy(Number);
    LabelAddress->setBuddy(Address);
    Number->setAccessibleName(QStringLiteral("Заводской номер"));
    Address->setAccessibleName(QStringLiteral("Сетевой адрес"));
    Device_Version->setAccessibleName(QStringLiteral("Тип прибора"));
    Com_Port_Name->setAccessibleName(QStringLiteral("COM-порт"));
    Com_Port_Speed->setAccessibleName(QStringLiteral("Скорость обмена"));

    GroupChannels = new QGroupBox(QStringLiteral(" Каналы "), p1);
    GroupChannels->setObjectName(QStringLiteral("GroupChannels"));
    GroupChannels->setGeometry(0, 32, 517, 113);
    DBGrid1 = new TChannelGrid(GroupChannels);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(8, 16, 501, 58);
    DBGrid1->setAccessibleName(QStringLiteral("Каналы"));
    dsChannels = new TChannelsModel(cdsChannels, this);
    DBGrid1->setModel(dsChannels);
    DBGrid1->verticalHeader()->hide();    // no row indicator
    DBGrid1->setTabKeyNavigation(false);  // Tab leaves the grid
    // Type to edit, click the current cell to edit; moving the current cell alone opens nothing.
    DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setShowGrid(true);
    DBGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DBGrid1->horizontalHeader()->setFixedHeight(18);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->horizontalHeader()->setAccessibleName(QStringLiteral("Столбцы"));
    DBGrid1->setCornerButtonEnabled(false);
    DBGrid1->verticalHeader()->setDefaultSectionSize(19);
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const int widths[4] = {20, 135, 70, 250};
    for (int c = 0; c < 4; ++c)
        DBGrid1->setColumnWidth(c, widths[c]);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    auto* delegate = new TPickListDelegate(cdsChannels, DBGrid1);
    for (int c = colCenaDiv; c <= colTypeInSig; ++c)
        DBGrid1->setItemDelegateForColumn(c, delegate);
    CheckBox1 = new QCheckBox(QStringLiteral("Возможность обнуления счетчика объема V2"), GroupChannels);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 88, 257, 17);

    GroupLastInit = new QGroupBox(QStringLiteral(" Последняя инициализация "), p1);
    GroupLastInit->setObjectName(QStringLiteral("GroupLastInit"));
    GroupLastInit->setGeometry(0, 145, 193, 64);
    LabelDate = MakeLabel(GroupLastInit, "LabelDate", QStringLiteral("Дата:"), 8, 31, 30, 16);
    Device_Date = new QLineEdit(GroupLastInit);
    Device_Date->setObjectName(QStringLiteral("Device_Date"));
    Device_Date->setGeometry(40, 28, 54, 21);
    LabelTime = MakeLabel(GroupLastInit, "LabelTime", QStringLiteral("Время:"), 104, 31, 38, 16);
    Device_Time = new QLineEdit(GroupLastInit);
    Device_Time->setObjectName(QStringLiteral("Device_Time"));
    Device_Time->setGeometry(144, 28, 33, 21);
    for (QLineEdit* e : {Device_Date, Device_Time}) {
        e->setReadOnly(true);  // display only
        e->setEnabled(false);
    }
    Device_Date->setAccessibleName(QStringLiteral("Дата последней инициализации"));
    Device_Time->setAccessibleName(QStringLiteral("Время последней инициализации"));

    Button_Read_Ini =
        MakeButton(p1, "Button_Read_Ini", QStringLiteral("Считать"), 216, 152, 89, 25, QStyle::SP_BrowserReload);
    Button_Init = MakeButton(p1, "Button_Init", QStringLiteral("Инициализация устройства"), 325, 152, 180, 25,
                             QStyle::SP_DialogYesButton);
    Button_Deinit = MakeButton(p1, "Button_Deinit", QStringLiteral("Выход из инициализации"), 325, 184, 180, 25,
                               QStyle::SP_DialogNoButton);

    BitBtn1 = MakeButton(TabSheet3, "BitBtn1", QStringLiteral("Калибровка RTC"), 8, 8, 120, 25);
    BitBtn2 = MakeButton(TabSheet3, "BitBtn2", QStringLiteral("Установка счетчиков"), 8, 40, 120, 25);
    BitBtn3 = MakeButton(TabSheet3, "BitBtn3", QStringLiteral("Журнал"), 8, 72, 120, 25);

    // Tab orders within each parent, as listed; the model list last on its page.
    setTabOrder(Com_Port_Name, Com_Port_Speed);
    setTabOrder(Com_Port_Speed, Button_Exit);
    setTabOrder(Button_Exit, Button_Fixed);
    setTabOrder(Button_Fixed, PageControl1);
    setTabOrder(PageControl1, Number);
    setTabOrder(Number, Address);
    setTabOrder(Address, DBGrid1);
    setTabOrder(DBGrid1, CheckBox1);
    setTabOrder(CheckBox1, Button_Read_Ini);
    setTabOrder(Button_Read_Ini, Button_Init);
    setTabOrder(Button_Init, Button_Deinit);
    setTabOrder(Button_Deinit, Device_Version);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);

    cdsChannels.OnChanged = [this] { dsChannels->Refresh(); };
}

void TForm1::Form_Create()
{
    ApplyModel1();
    PageControl1->setCurrentIndex(0);
    ui_.portText = [this] { return PortText(); };
    ui_.modelRead = [this](uint8_t code) {
        Device_Version->setCurrentIndex(TDeviceSettings::ModelIndex(code));  // no model change
    };
    actions_ = std::make_unique<TDeviceActions>(ui_, image_, QStringLiteral("zenda-init 1.03"));
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

int TForm1::SelectedIndex(const QComboBox* combo) const
{
    // Typed text selects the item it spells exactly, or none.
    const int i = combo->currentIndex();
    if (i >= 0 && combo->itemText(i) == combo->currentText())
        return i;
    return combo->findText(combo->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TForm1::ConnectionTyped(QComboBox* combo)
{
    QLineEdit* edit = combo->lineEdit();
    const int i = combo->findText(edit->text(), Qt::MatchFixedString);  // whole text, any case
    if (i < 0)
        return;  // not an item (yet): nothing is opened or stored
    const bool changed = i != combo->currentIndex();
    // The item's own spelling, the typing position kept: the completion keeps the case typed.
    const int selStart = edit->selectionStart();
    const int selLength = static_cast<int>(edit->selectedText().size());
    const int cursor = edit->cursorPosition();
    combo->setCurrentIndex(i);
    if (edit->text() != combo->itemText(i))
        edit->setText(combo->itemText(i));
    if (selStart >= 0 && selLength > 0)
        edit->setSelection(selStart + selLength, -selLength);
    else
        edit->setCursorPosition(cursor);
    if (changed)
        Change_Port_and_Speed();
}

void TForm1::ConnectionLeft(QComboBox* combo)
{
    // Left with text that names no item: the list shows again what is in use.
    if (SelectedIndex(combo) < 0)
        combo->setEditText(combo->currentIndex() >= 0 ? combo->itemText(combo->currentIndex()) : QString());
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

// ------------------------------------------------------------------ connection

void TForm1::DoOpenCom() { actions_->Session().Open(SelectedIndex(Com_Port_Name), StrToInt(Com_Port_Speed->currentText())); }

void TForm1::DoCloseCom() { actions_->Session().Close(); }

void TForm1::WriteComSettings()
{
    // Only an item is stored: text that names none would come back as a nonsense setting.
    const auto s = OpenSettings();
    if (const int port = SelectedIndex(Com_Port_Name); port >= 0)
        s->setValue(QStringLiteral("ComNumber"), port + 1);
    if (const int speed = SelectedIndex(Com_Port_Speed); speed >= 0)
        s->setValue(QStringLiteral("BaudRate"), speed);
}

void TForm1::ShowPortPaths()
{
    // Each COM name's tool tip: the device it resolves to on this machine, now.
    for (int i = 0; i < Com_Port_Name->count(); ++i)
        Com_Port_Name->setItemData(i, QString::fromStdString(ResolvePortName(Com_Port_Name->itemText(i).toStdString())),
                                   Qt::ToolTipRole);
}

void TForm1::Change_Port_and_Speed()
{
    ShowPortPaths();
    DoCloseCom();
    WriteComSettings();
    RunGuarded([this] { DoOpenCom(); });
}

void TForm1::CheckComOpened() { actions_->Session().CheckOpen(); }

// ------------------------------------------------------------------ actions

void TForm1::Button_Read_IniClick() { ReadIniParams(); }

void TForm1::ReadIniParams() { ReadSettingsFromDevice(); }

void TForm1::ReadSettingsFromDevice() { ShowDeviceSettings(actions_->Read().model); }

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
    if (ClockVerifyForm->exec() != QDialog::Accepted)
        return;
    InitializeDeviceConfirmed();
}

void TForm1::InitializeDeviceConfirmed()
{
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
        TDeviceActions::TLeave::Ask);
}

void TForm1::BitBtn1Click()
{
    actions_->Rtc([this] {
        if (!RTCCorrectionForm->EditCorrection(settings_.CorrectionRef()))
            return false;
        QApplication::processEvents();  // the closed dialog leaves the screen before the line blocks
        return true;
    });
}

void TForm1::BitBtn2Click()
{
    actions_->Counters([this] { return CountersForm->exec() == QDialog::Accepted; });
}

// ------------------------------------------------------------------ the journal and backups

void TForm1::BitBtn3Click()
{
    JournalForm->Load();
    JournalForm->exec();
}

QString TForm1::PortText() const
{
    const int i = SelectedIndex(Com_Port_Name);
    if (i < 0)
        return Com_Port_Name->currentText();
    const std::string com = "COM" + std::to_string(i + 1);
    return QString::fromStdString(com + " -> " + ResolvePortName(com));
}

void TForm1::RestoreBackup(const QString& file, bool withCounters)
{
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
    if (const auto& r = actions_->Restore(file, load, withCounters); r.wrote)
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
        const bool pageKey = (k->modifiers() & Qt::ControlModifier) &&
                             (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab ||
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
