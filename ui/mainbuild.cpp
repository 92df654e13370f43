// The window's controls: each at its place, with its object name, text and tab order.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include "channelgrid.h"
#include "formutil.h"
#include "main.h"
#include "teamlink.h"
#include "version.h"
#include "clockverify.h"
#include "ctrcorr.h"
#include "guard.h"
#include "journal.h"
#include "protocoldlg.h"
#include "rtccorr.h"
#include "maskedit.h"

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
    for (QProcess* p : findChildren<QProcess*>(Qt::FindDirectChildrenOnly))  // answers nobody waits for now
        EndNow(p);
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
    JournalForm->OnRestore = [this](const QString& file, bool withCounters, int undone) {
        RunGuarded([&] { RestoreBackup(file, withCounters, undone); });
    };
    ProtocolForm = new TProtocolForm(this);
    JournalForm->OnProtocol = [this](const TJournalLine& line) {
        RunGuarded([&] { ProtocolForm->Make(line, QStringLiteral("zenda-init " ZENDA_VERSION)); });
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
    // The protocol of the last completed write, one click from where it was made.
    BitBtn4 = MakeButton(TabSheet3, "BitBtn4", QStringLiteral("Протокол"), 136, 72, 120, 25);
    Button_Protocol = MakeButton(p1, "Button_Protocol", QStringLiteral("Протокол"), 216, 184, 89, 25);
    for (QPushButton* b : {BitBtn4, Button_Protocol}) {
        b->setEnabled(false);  // until a write is completed in this run
        b->setToolTip(QStringLiteral("Протокол инициализации последней записи в прибор (PDF)"));
    }

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
    setTabOrder(Button_Deinit, Button_Protocol);
    setTabOrder(Button_Protocol, Device_Version);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, BitBtn3);
    setTabOrder(BitBtn3, BitBtn4);

    cdsChannels.OnChanged = [this] { dsChannels->Refresh(); };
}
