// The main window and its actions against the simulator over a pseudo-terminal.
#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QFile>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolButton>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "clockverify.h"
#include "ctrcorr.h"
#include "guard.h"
#include "main.h"
#include "journal.h"
#include "records/records.h"
#include "base/settingsstore.h"
#include "maskedit.h"
#include "pdf_text.h"
#include "protocol.h"
#include "qt_helpers.h"
#include "rtccorr.h"
#include "sim_fixture.h"

namespace {

const QString kTitle = QStringLiteral("zenda-init tests");

std::array<uint8_t, 72> DeviceImage()
{
    std::array<uint8_t, 72> a{};
    const uint8_t head[27] = {0x05, 0x09, 0x07, 0x03, 0x26, 0x09, 0x01, 0x00, 0x00, 0x24, 0x47, 0x30, 0x45, 0x23,
                              0x01, 0x00, 0x00, 0x00, 0x91, 0x78, 0x56, 0x34, 0x12, 0x11, 0x22, 0x33, 0x44};
    std::copy(std::begin(head), std::end(head), a.begin());
    for (int i = 27; i < 72; ++i)
        a[i] = static_cast<uint8_t>(0xC0 ^ i);
    return a;
}

// A private settings store for each test, with COM1 mapped to the simulator.
class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        std::filesystem::remove_all(DataFolder().toStdString());  // no backups or journal of earlier tests
        line.sim.SetImage(DeviceImage());
        Settings()->setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(line.path));
        InstallSettingsPortResolver();
    }
    void TearDown() override
    {
        if (form) {
            form->hide();
            form.reset();
        }
        SetPortNameResolver(nullptr);
    }
    std::unique_ptr<QSettings> Settings() { return OpenSettings(); }
    void Start()
    {
        form = std::make_unique<TForm1>();
        form->CreateServiceDialogs();
        form->show();
        QApplication::processEvents();
    }
    std::vector<uint8_t> Sent() const
    {
        std::vector<uint8_t> out;
        for (const auto& e : line.sim.Log())
            if (e.FromTool)
                out.insert(out.end(), e.Bytes.begin(), e.Bytes.end());
        return out;
    }
    QTemporaryDir dir;
    SimLine line;
    std::unique_ptr<TForm1> form;
};

}  // namespace

// ------------------------------------------------------------------ start and connection

TEST_F(Window, StartWithAComNumberThatSelectsNothing)
{
    Settings()->setValue(QStringLiteral("ComNumber"), 7);
    BoxRecorder rec;
    Start();
    EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": Драйвер COM-порта: Неправильный номер COM-порта.")});
    EXPECT_FALSE(form->Session().IsOpen());
    rec.seen.clear();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    W<QPushButton>(form.get(), "Button_Deinit")->click();
    EXPECT_EQ(rec.seen, QStringList(2, QStringLiteral("Ошибка: COM-Порт не открыт.")));
    EXPECT_EQ(line.sim.Log().size(), 0u);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // Settings are not written at start.
    EXPECT_EQ(Settings()->value(QStringLiteral("ComNumber")).toInt(), 7);
}

TEST_F(Window, NonsenseSettingsGiveAClearError)
{
    for (const char* v : {"-3", "99", "текст", "-2147483648", "2147483647", "4294967296"}) {
        Settings()->setValue(QStringLiteral("ComNumber"), QString::fromUtf8(v));
        BoxRecorder rec;
        Start();
        EXPECT_EQ(rec.seen.size(), 1) << v;
        EXPECT_FALSE(form->Session().IsOpen());
        form.reset();
    }
    Settings()->setValue(QStringLiteral("ComNumber"), 1);
    Settings()->setValue(QStringLiteral("BaudRate"), QStringLiteral("xyz"));
    BoxRecorder rec;
    Start();
    EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": '' не является допустимым значением целого числа.")});
}

TEST_F(Window, ChangingSpeedSavesBothAndReopens)
{
    Start();
    ASSERT_TRUE(form->Session().IsOpen());
    EXPECT_EQ(form->Session().BaudRate(), 4800);
    W<QComboBox>(form.get(), "Com_Port_Speed")->setCurrentIndex(1);
    emit W<QComboBox>(form.get(), "Com_Port_Speed")->activated(1);
    EXPECT_TRUE(form->Session().IsOpen());
    EXPECT_EQ(form->Session().BaudRate(), 9600);
    EXPECT_EQ(Settings()->value(QStringLiteral("ComNumber")).toInt(), 1);
    EXPECT_EQ(Settings()->value(QStringLiteral("BaudRate")).toInt(), 1);

    // Choosing a port that has no device: the error, the port closed, and back again.
    Settings()->setValue(QStringLiteral("Ports/COM2"), QStringLiteral("/nonexistent/tty"));
    BoxRecorder rec;
    W<QComboBox>(form.get(), "Com_Port_Name")->setCurrentIndex(1);
    emit W<QComboBox>(form.get(), "Com_Port_Name")->activated(1);
    EXPECT_FALSE(form->Session().IsOpen());
    EXPECT_EQ(Settings()->value(QStringLiteral("ComNumber")).toInt(), 2);
    EXPECT_EQ(rec.seen.last(), kTitle + QStringLiteral(": Драйвер COM-порта: Ошибка открытия СОМ-порта."));
    W<QComboBox>(form.get(), "Com_Port_Name")->setCurrentIndex(0);
    emit W<QComboBox>(form.get(), "Com_Port_Name")->activated(0);
    EXPECT_TRUE(form->Session().IsOpen());
}

// ------------------------------------------------------------------ reading

TEST_F(Window, ReadShowsTheDevice)
{
    line.sim.SetModel(0xF1);
    Start();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(W<QComboBox>(form.get(), "Device_Version")->currentText(), QStringLiteral("ZENDA2"));
    EXPECT_EQ(form->Image().ModelCode(), 0xF0);  // the read selects, it does not store
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("256  "));
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Address")->Value(), QStringLiteral("  "));
    EXPECT_FALSE(W<QCheckBox>(form.get(), "CheckBox1")->isChecked());
    EXPECT_EQ(W<QLineEdit>(form.get(), "Device_Time")->text(), QStringLiteral("09:05"));
    EXPECT_EQ(W<QLineEdit>(form.get(), "Device_Date")->text(), QStringLiteral("07/03/26"));
    EXPECT_EQ(W<QTableView>(form.get(), "DBGrid1")->model()->index(0, 1).data().toString(),
              QStringLiteral("0,1 м3/имп"));
    EXPECT_EQ(W<QTableView>(form.get(), "DBGrid1")->model()->index(1, 3).data().toString(),
              QStringLiteral("Импульсный OK (1-5 мс)"));
    EXPECT_EQ(W<QTableView>(form.get(), "DBGrid1")->model()->index(1, 2).data().toString(), QStringLiteral("Есть"));
    EXPECT_EQ(line.sim.CommandCount(5), 1);
    EXPECT_EQ(line.sim.CommandCount(4), 2);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // Changing the model in the list runs the model change.
    W<QComboBox>(form.get(), "Device_Version")->setCurrentIndex(2);
    emit W<QComboBox>(form.get(), "Device_Version")->activated(2);
    EXPECT_EQ(form->Image().ModelCode(), 0xF2);
    EXPECT_EQ(W<QTableView>(form.get(), "DBGrid1")->model()->index(1, 3).data().toString(),
              QStringLiteral("Импульсный OK (>50 мс) / \"Сухой контакт\""));
}

TEST_F(Window, LeavingInitializationMode)
{
    Start();
    BoxRecorder rec;
    W<QPushButton>(form.get(), "Button_Deinit")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Выход из режима инициализации произведен успешно.")});
    EXPECT_EQ(Sent(), std::vector<uint8_t>{3});
}

// ------------------------------------------------------------------ checks, keys, closing

TEST_F(Window, FieldChecksAndCtrl)
{
    Start();
    BoxRecorder rec;
    W<TMaskEdit>(form.get(), "Number")->SetValue(QStringLiteral("70000"));
    RunGuarded([&] { form->ValidateDeviceNumber(); });
    W<TMaskEdit>(form.get(), "Address")->SetValue(QStringLiteral("64"));
    RunGuarded([&] { form->ValidateDeviceAddress(); });
    W<TMaskEdit>(form.get(), "Address")->SetValue(QStringLiteral("  "));
    RunGuarded([&] { form->ValidateDeviceAddress(); });
    EXPECT_EQ(rec.seen, (QStringList{QStringLiteral("Ошибка: Номер прибора должен быть числом от 0 до 65535."),
                                     QStringLiteral("Ошибка: Сетевой адрес прибора должен быть числом от 1 до 63.")}));

    W<TMaskEdit>(form.get(), "Number")->SetValue(QStringLiteral("1    "));  // leaving 70000 would be refused
    form->activateWindow();
    W<TMaskEdit>(form.get(), "Number")->setFocus();
    QApplication::processEvents();
    QTest::keyClick(W<TMaskEdit>(form.get(), "Number"), Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(W<TMaskEdit>(form.get(), "Address")->hasFocus());
    QTest::keyClick(W<TMaskEdit>(form.get(), "Address"), Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(W<TMaskEdit>(form.get(), "Number")->hasFocus());

    // Ctrl with another key is that key's shortcut in the field, never the jump: select all
    // in the address, and the next digit replaces the address, not the serial number.
    auto* address = W<TMaskEdit>(form.get(), "Address");
    address->setFocus();
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_C, Qt::Key_V}) {
        QTest::keyPress(address, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyClick(address, key, Qt::ControlModifier);
        QTest::keyRelease(address, Qt::Key_Control, Qt::NoModifier);
        EXPECT_TRUE(address->hasFocus()) << key;
    }
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(address, QStringLiteral("7"));
    EXPECT_EQ(address->Value(), QStringLiteral("7 "));
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("1    "));
    // Cut takes the digits out of the mask's slots, not only off the screen.
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(address, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(address->Value(), QStringLiteral("  "));
    EXPECT_EQ(QApplication::clipboard()->text().left(1), QStringLiteral("7"));
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(1);
    W<QPushButton>(form.get(), "BitBtn1")->setFocus();
    QTest::keyClick(W<QPushButton>(form.get(), "BitBtn1"), Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(W<QPushButton>(form.get(), "BitBtn1")->hasFocus());
}

TEST_F(Window, MaskedFieldRefusesLettersAndEscRestores)
{
    Start();
    form->activateWindow();
    W<TMaskEdit>(form.get(), "Number")->setFocus();
    QApplication::processEvents();
    W<TMaskEdit>(form.get(), "Number")->setCursorPosition(0);
    QTest::keyClicks(W<TMaskEdit>(form.get(), "Number"), QStringLiteral("4x2"));
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("42   "));
    QTest::keyClick(W<TMaskEdit>(form.get(), "Number"), Qt::Key_Escape);
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("1    "));
}

TEST_F(Window, StayOnTopToggle)
{
    Start();
    W<QToolButton>(form.get(), "Button_Fixed")->click();
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->isVisible());  // changing the flag hides a window: it is shown again
    W<QToolButton>(form.get(), "Button_Fixed")->click();
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Window, ClosingAsks)
{
    Start();
    OnNextModal([](QWidget* w) {
        EXPECT_EQ(BoxText(w), QStringLiteral("Вы действительно хотите выйти из программы?"));
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Подтвердите"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);  // does nothing
        static_cast<QPushButton*>(w->findChild<QWidget*>(QStringLiteral("btn1")))->click();
    });
    W<QPushButton>(form.get(), "Button_Exit")->click();
    EXPECT_TRUE(form->isVisible());
    OnNextModal([](QWidget* w) { QTest::keyClick(w->focusWidget(), Qt::Key_Return); });
    form->close();
    EXPECT_FALSE(form->isVisible());
}

// ------------------------------------------------------------------ the writing actions

namespace {
void AnswerClock(bool yes)
{
    OnNextModal([yes](QWidget* w) {
        ASSERT_EQ(w->objectName(), QStringLiteral("ClockVerifyForm"));
        EXPECT_NE(w->findChild<QLabel*>(QStringLiteral("clockDisplay"))->text(), QStringLiteral("88:88:88"));
        // The date beside the time: a PC a day off would stamp the wrong date.
        EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("dateDisplay"))->text(),
                  QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
        QTest::keyClick(w, yes ? Qt::Key_Return : Qt::Key_Escape);
    });
}
}  // namespace

TEST_F(Window, InitializationWritesThePageAndKeepsTheRest)
{
    Start();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    W<TMaskEdit>(form.get(), "Number")->SetValue(QStringLiteral("4660 "));
    W<TMaskEdit>(form.get(), "Address")->SetValue(QStringLiteral("17"));
    W<QCheckBox>(form.get(), "CheckBox1")->setChecked(true);
    form->Channels().SetTypeInSig(0, 1);
    form->Channels().SetCenaDiv(0, 2);
    line.sim.ClearLog();
    AnswerClock(true);
    BoxRecorder rec;  // answers "Да" to leaving initialization mode
    const TLocalTime before = NowLocal();
    W<QPushButton>(form.get(), "Button_Init")->click();
    const auto img = line.sim.Image();
    EXPECT_EQ(
        rec.seen,
        QStringList{QStringLiteral("Подтвердите: Прибор проинициализирован успешно. Выйти из режима инициализации?")});
    EXPECT_EQ(img[6], 0x12);
    EXPECT_EQ(img[7], 0x34);
    EXPECT_EQ(img[8], 17);
    EXPECT_EQ(img[9], 0x10 | 0x01 | 0x04);  // V2 flag, ch1 type 1, ch2 type 1; line tests clear
    EXPECT_EQ(img[5] & 0x0F, 0x02 | 0x08);  // ch1 code 2, ch2 code 2 as read
    for (int p = 12; p <= 27; ++p)
        EXPECT_EQ(img[p - 1], 0) << p;
    // The PC time of the stamp: the reading before the click or after it (a minute may turn).
    const TLocalTime after = NowLocal();
    auto stamp = [](const TLocalTime& t) {
        TImageBuffer b;
        b.StampClock(t);
        return std::vector<uint8_t>(b.Bytes.begin(), b.Bytes.begin() + 5);
    };
    const std::vector<uint8_t> got(img.begin(), img.begin() + 5);
    EXPECT_TRUE(got == stamp(before) || got == stamp(after));
    const auto device = DeviceImage();
    for (int p = 28; p <= 72; ++p)
        ASSERT_EQ(img[p - 1], device[p - 1]) << p;
    EXPECT_EQ(img[10], device[10]);  // the RTC correction is not the initialization's
    EXPECT_FALSE(line.sim.InInitMode());
    EXPECT_EQ(line.sim.CommandCount(3), 1);
    EXPECT_EQ(form->Image().ModelCode(), 0xF0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Window, NoInTheClockCheckSendsNothing)
{
    Start();
    line.sim.ClearLog();
    AnswerClock(false);
    W<QPushButton>(form.get(), "Button_Init")->click();
    EXPECT_TRUE(line.sim.Log().empty());
}

TEST_F(Window, ChannelWithoutTypeStopsBeforeAnyWrite)
{
    Start();
    form->Channels().SetTypeInSig(1, 3);
    line.sim.ClearLog();
    AnswerClock(true);
    BoxRecorder rec;
    W<QPushButton>(form.get(), "Button_Init")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: Не выбран тип входного сигнала!")});
    EXPECT_EQ(line.sim.CommandCount(5), 1);
    EXPECT_EQ(line.sim.CommandCount(4), 2);
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_EQ(W<QTableView>(form.get(), "DBGrid1")->currentIndex().row(), 1);
    EXPECT_EQ(W<QTableView>(form.get(), "DBGrid1")->currentIndex().column(), 3);
}

TEST_F(Window, OutOfRangeFieldsAreRefusedNotCut)
{
    Start();
    for (auto [number, address, msg] :
         {std::tuple{"99999", "5 ", "Ошибка: Номер прибора должен быть числом от 0 до 65535."},
          std::tuple{"1    ", "99", "Ошибка: Сетевой адрес прибора должен быть числом от 1 до 63."}}) {
        W<TMaskEdit>(form.get(), "Number")->SetValue(QString::fromUtf8(number));
        W<TMaskEdit>(form.get(), "Address")->SetValue(QString::fromUtf8(address));
        line.sim.ClearLog();
        AnswerClock(true);
        BoxRecorder rec;
        W<QPushButton>(form.get(), "Button_Init")->click();
        EXPECT_EQ(rec.seen, QStringList{QString::fromUtf8(msg)});
        EXPECT_EQ(line.sim.CommandCount(0), 0);
        EXPECT_EQ(line.sim.Image(), DeviceImage());
    }
}

TEST_F(Window, AnInitializationWritesOnlyTheDeviceItsPageWasReadFrom)
{
    // Read a ZENDA3 № 30001 with a frequency input on channel 2...
    auto zenda3 = DeviceImage();
    zenda3[6] = 0x75, zenda3[7] = 0x31, zenda3[9] = 0x08;
    line.sim.SetModel(0xF2);
    line.sim.SetImage(zenda3);
    Start();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    // ... move the cable to a ZENDA1 № 4711 and press "Инициализация устройства".
    auto zenda1 = DeviceImage();
    zenda1[6] = 0x12, zenda1[7] = 0x67;
    line.sim.SetModel(0xF0);
    line.sim.SetImage(zenda1);
    line.sim.ClearLog();
    AnswerClock(true);
    BoxRecorder rec;
    W<QPushButton>(form.get(), "Button_Init")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral(
                            "Ошибка: Подключен прибор ZENDA1 № 4711, а на странице прибор ZENDA3 № 30001, считанный "
                            "ранее. Ничего не записано: считайте подключенный прибор (\"Считать\") и проверьте "
                            "настройки.")});
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_EQ(line.sim.Image(), zenda1);
    EXPECT_EQ(W<QComboBox>(form.get(), "Device_Version")->currentText(), QStringLiteral("ZENDA3"));  // the page's
    // A page whose channel the model cannot take is refused on the image, before the first byte.
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    W<QComboBox>(form.get(), "Device_Version")->setCurrentIndex(2);  // shown only: the table keeps ZENDA1's rules
    form->Channels().ApplyModel23(2);
    form->Channels().SetTypeInSig(1, 2);
    rec.seen.clear();
    AnswerClock(true);
    W<QPushButton>(form.get(), "Button_Init")->click();
    ASSERT_EQ(rec.seen.size(), 1);
    EXPECT_TRUE(rec.seen[0].startsWith(QStringLiteral("Ошибка: Прибор ZENDA1 не примет эти настройки: канал 2, тип "
                                                      "входного сигнала")))
        << rec.seen[0].toStdString();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    // The RTC action does not ask the model, but its record names the one this run read.
    rec.seen.clear();
    OnNextModal([](QWidget* w) { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return); });
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(line.sim.CommandCount(5), 3);  // the read and the two initializations; none for the RTC
    EXPECT_EQ(TServiceRecords::ReadJournal()[0].model, QStringLiteral("ZENDA1"));
}

TEST_F(Window, WriteThatFailsThreeTimesShowsOneBoxWithWhatTheDeviceHolds)
{
    Start();
    line.sim.AddFault({zsim::FaultKind::CorruptReadBack, 4});
    AnswerClock(true);
    BoxRecorder rec;
    W<QPushButton>(form.get(), "Button_Init")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: Ошибка приемо/прередачи: несовпадение принятых данных.\n"
                                                   "После сбоя прочитано: прибор хранит новые настройки.\n"
                                                   "Считайте прибор, прежде чем делать что-либо еще.")});
    EXPECT_EQ(line.sim.CommandCount(0), 3);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(W<QPushButton>(form.get(), "Button_Init")->isEnabled());
}

TEST_F(Window, RtcCorrectionChangesOnlyItsByte)
{
    Start();
    OnNextModal([](QWidget* w) {
        auto* d = static_cast<TRTCCorrectionForm*>(w);
        EXPECT_EQ(d->TrackBar1->value(), -7);
        EXPECT_EQ(d->l1->text(), QStringLiteral("-7 сек"));
        QTest::keyClick(d->TrackBar1, Qt::Key_PageUp);
        d->TrackBar1->setValue(3);
        EXPECT_EQ(d->l1->text(), QStringLiteral("3 сек"));
        QTest::keyClick(d, Qt::Key_Return);
    });
    BoxRecorder rec;
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Автокоррекция RTC произведена успешно.")});
    auto want = DeviceImage();
    want[10] = 0x03;
    EXPECT_EQ(line.sim.Image(), want);

    // Cancel after the read sends nothing more.
    line.sim.ClearLog();
    OnNextModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_EQ(line.sim.CommandCount(4), 2);
}

TEST_F(Window, CountersChangeOnlyTheirBytes)
{
    Start();
    OnNextModal([](QWidget* w) {
        auto* d = static_cast<TCountersForm*>(w);
        EXPECT_EQ(d->e1->Value(), QStringLiteral("1234530"));
        EXPECT_EQ(d->e1->text(), QStringLiteral("12345:30"));
        EXPECT_EQ(d->e2->text(), QStringLiteral("10000:00"));
        EXPECT_FALSE(d->e4->isEnabled() && false);
        d->e2->setFocus();
        d->e2->selectAll();
        QTest::keyClicks(d->e2, QStringLiteral("0000715"));
        d->BitBtn1->click();
    });
    BoxRecorder rec;
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Счетчики установлены.")});
    auto want = DeviceImage();
    want[15] = 0x15;
    want[16] = 0x07;
    want[17] = 0x00;
    want[18] = 0x00;  // 0x91: the hidden digit goes back as 0
    EXPECT_EQ(line.sim.Image(), want);
}

TEST_F(Window, CounterOkWithAnIncompleteFieldIsRefused)
{
    Start();
    OnNextModal([](QWidget* w) {
        auto* d = static_cast<TCountersForm*>(w);
        d->e3->setFocus();
        d->e3->setCursorPosition(0);
        QTest::keyClick(d->e3, Qt::Key_Delete);
        QTest::keyClick(d->e3, Qt::Key_Return);  // Enter: the default button, no field check
        EXPECT_TRUE(d->isVisible());
        QTest::keyClick(d->e3, Qt::Key_Escape);  // undo this field's changes
        QTest::keyClick(d->e3, Qt::Key_Escape);  // unchanged now: Cancel
    });
    BoxRecorder rec;
    line.sim.ClearLog();
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(rec.seen,
              QStringList{kTitle + QStringLiteral(": Введено неправильное значение. Используйте клавишу [ESC] для "
                                                  "отмены изменений.")});
    EXPECT_EQ(line.sim.CommandCount(0), 0);
}

TEST_F(Window, CountersTheFieldsCannotShowWholeAreSaidAndSurviveAnOkWithoutEdit)
{
    auto image = DeviceImage();
    image[19] = 0x7A;  // V1's lowest byte is no BCD
    for (int i = 0; i < 4; ++i)
        image[11 + i] = std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}[i];  // tp1 holds 785634:12
    line.sim.SetImage(image);
    Start();
    QString note, tp1;
    OnNextModal([&](QWidget* w) {
        auto* d = static_cast<TCountersForm*>(w);
        note = W<QLabel>(w, "Note")->isVisible() ? W<QLabel>(w, "Note")->text() : QString();
        tp1 = d->e1->Value();
        QTest::keyClick(d->e1, Qt::Key_Return);  // OK with nothing typed
    });
    BoxRecorder rec;
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(tp1, QStringLiteral("8563412"));  // the field's seven digits: the eighth is said below
    EXPECT_EQ(note, QStringLiteral("tp1 в приборе: 785634:12\ntp2 в приборе: 910000:00\nV1 в приборе: не число: "
                                   "байты 7A 56 34 12\nНе измененное поле останется как есть."));
    EXPECT_EQ(line.sim.Image(), image);  // every byte as it was: nothing typed, nothing changed
    EXPECT_EQ(line.sim.CommandCount(0), 1);
    EXPECT_TRUE(TServiceRecords::ReadJournal()[0].changes.isEmpty());
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Счетчики установлены.")});
}

// ------------------------------------------------------------------ the dialogs on their own

TEST(RtcDialog, DecodeAndEncode)
{
    TRTCCorrectionForm d;
    struct Row {
        uint8_t stored;
        int thumb;
        const char* l1;
        uint8_t ok;
    };
    const Row rows[] = {
        {0x25, 25, "25 сек", 0x25}, {0x47, -7, "-7 сек", 0x47}, {0x40, 0, "0 сек", 0x00},
        {0xC5, -5, "-5 сек", 0x45}, {0x39, 25, "39 сек", 0x25}, {0x1F, 25, "25 сек", 0x25},
    };
    for (const auto& r : rows) {
        uint8_t b = r.stored;
        OnNextModal([&](QWidget* w) {
            EXPECT_EQ(d.TrackBar1->value(), r.thumb) << int(r.stored);
            EXPECT_EQ(d.l1->text(), QString::fromUtf8(r.l1)) << int(r.stored);
            d.BitBtn1->click();
            (void)w;
        });
        EXPECT_TRUE(d.EditCorrection(b));
        EXPECT_EQ(b, r.ok) << int(r.stored);
    }
    uint8_t b = 0xC5;
    OnNextModal([&](QWidget*) { d.close(); });
    EXPECT_FALSE(d.EditCorrection(b));
    EXPECT_EQ(b, 0xC5);
    EXPECT_EQ(d.TrackBar1->pageStep(), 1);
    EXPECT_EQ(d.TrackBar1->tickPosition(), QSlider::TicksBelow);
}

TEST(CountersDialog, VolumeMasksAndTheMinutesCheck)
{
    TImageBuffer img;
    const uint8_t v[4] = {0x78, 0x56, 0x34, 0x12};
    std::copy(v, v + 4, &img.At(20));
    TCountersForm d(img);
    const std::pair<std::pair<uint8_t, uint8_t>, const char*> cases[] = {
        {{0x00, 0x00}, "123456,78"}, {{0x00, 0x01}, "12345,678"}, {{0x02, 0x00}, "12345678"}};
    for (const auto& [bytes, shown] : cases) {
        img.At(6) = bytes.first;
        img.At(10) = bytes.second | 0x0C;  // channel 2 without a type
        BoxRecorder rec;
        OnNextModal([&](QWidget*) {
            EXPECT_EQ(d.e3->text(), QString::fromUtf8(shown));
            EXPECT_FALSE(d.e4->isEnabled());
            d.BitBtn1->click();
        });
        EXPECT_EQ(d.exec(), QDialog::Accepted);
        EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: По второму каналу установлен запрещенный тип "
                                                       "входного сигнала, счетчик не записан!")});
        EXPECT_EQ(std::vector<uint8_t>(&img.At(20), &img.At(20) + 4), std::vector<uint8_t>(v, v + 4));
    }
    // Minutes 75 are refused on leaving the field, 59 pass.
    for (const auto& [typed, refused] : {std::pair{"0000075", true}, std::pair{"0000059", false}}) {
        QStringList seen;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* mb = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (mb && mb->isVisible()) {
                seen << mb->text();
                mb->button(QMessageBox::Ok)->click();
            }
        });
        watcher.start(5);
        OnNextModal([&](QWidget*) {
            d.e1->setFocus();
            d.e1->selectAll();
            d.e1->setCursorPosition(0);
            QTest::keyClicks(d.e1, QString::fromUtf8(typed));
            d.e2->setFocus();
            QTest::qWait(100);
            EXPECT_EQ(d.focusWidget() == d.e1, refused);
            d.BitBtn2->click();
        });
        d.exec();
        EXPECT_EQ(seen,
                  refused ? QStringList{QStringLiteral("Введите значение минут в диапазоне 0-59")} : QStringList{});
    }
}

TEST(ClockDialog, ShowsTheInjectedTimeAtOnce)
{
    TClockVerifyForm d;
    d.Clock = [] { return QTime(7, 5, 9); };
    OnNextModal([&](QWidget*) {
        EXPECT_EQ(d.clockDisplay->text(), QStringLiteral("07") + TClockVerifyForm::TimeSeparator() +
                                              QStringLiteral("05") + TClockVerifyForm::TimeSeparator() +
                                              QStringLiteral("09"));
        EXPECT_TRUE(d.Timer1->isActive());
        d.Clock = [] { return QTime(23, 59, 58); };
        d.Timer1Timer();
        EXPECT_EQ(d.clockDisplay->text().left(2), QStringLiteral("23"));
        d.close();
    });
    EXPECT_EQ(d.exec(), QDialog::Rejected);
    EXPECT_FALSE(d.Timer1->isActive());
    EXPECT_EQ(TClockVerifyForm::TimeSeparator(), QStringLiteral(":"));
}

// ------------------------------------------------------------------ accessibility

TEST_F(Window, EveryControlHasAnAccessibleName)
{
    Start();
    // The dialogs are children of the window: each root counts its own controls.
    QList<QWidget*> roots = {form.get(), W<TClockVerifyForm>(form.get(), "ClockVerifyForm"),
                             W<TRTCCorrectionForm>(form.get(), "RTCCorrectionForm"),
                             W<TCountersForm>(form.get(), "CountersForm")};
    int checked = 0;
    for (QWidget* root : roots) {
        for (QWidget* w : root->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QAbstractItemView*>(w) || qobject_cast<QSlider*>(w) ||
                                 (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parentWidget()));
            // Hidden parts and the combo boxes' own drop-down lists are not controls of ours.
            if (!control || !w->isVisibleTo(root) || w->inherits("QComboBoxListView"))
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty())
                << w->metaObject()->className() << " " << w->objectName().toStdString();
            ++checked;
        }
    }
    EXPECT_GE(checked, 25);
    // The window's own texts stay as they are.
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Инициализация ЗЕНДА (v1.03)"));
    EXPECT_EQ(W<QPushButton>(form.get(), "Button_Read_Ini")->text(), QStringLiteral("Считать"));
}

// ------------------------------------------------------------------ keys and quick clicks

namespace {
// A press and its release with no event turn between them: a touchpad tap, a fast click.
// Sent as the window system sends them, so the press moves the focus first.
void QuickClick(QWidget* w)
{
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* f = QApplication::focusWidget();
    ASSERT_NE(f, nullptr);
    QTest::keyClick(f, static_cast<Qt::Key>(key), mods);
}

// Lets the event loop run until the recorder has seen n boxes (or two seconds pass).
void WaitForBoxes(const BoxRecorder& rec, int n)
{
    QElapsedTimer t;
    t.start();
    while (rec.seen.size() < n && t.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void Activate(QWidget* w)
{
    w->activateWindow();
    QApplication::setActiveWindow(w);
    QApplication::processEvents();
}

// Counts the clock checks that appear and declines each.
struct ClockWatch {
    int shown = 0;
    QTimer timer;
    ClockWatch()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* w = QApplication::activeModalWidget();
            if (w && w->objectName() == QStringLiteral("ClockVerifyForm") && w->isVisible()) {
                ++shown;
                static_cast<QDialog*>(w)->reject();
            }
        });
        timer.start();
    }
};
}  // namespace

TEST_F(Window, EnterPressesTheFocusedButtonNotTheDefault)
{
    Start();
    Activate(form.get());
    // "Нет" focused in the clock check: nothing at all happens.
    OnNextModal([](QWidget*) {
        Key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("BitBtn2"));
        Key(Qt::Key_Return);
    });
    W<QPushButton>(form.get(), "Button_Init")->click();
    EXPECT_EQ(line.sim.Log().size(), 0u);

    // "Отмена" focused in the RTC dialog: read, nothing written, no report.
    BoxRecorder rec;
    OnNextModal([](QWidget*) {
        Key(Qt::Key_Tab);
        Key(Qt::Key_Return);
    });
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_TRUE(rec.seen.isEmpty());

    // "Отмена" focused in the counters dialog (e1, e2, e3, e4, OK, Отмена).
    OnNextModal([](QWidget*) {
        for (int i = 0; i < 5; ++i)
            Key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("BitBtn2"));
        Key(Qt::Key_Return);
    });
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_TRUE(rec.seen.isEmpty());
    EXPECT_EQ(line.sim.Image(), DeviceImage());

    // With the focus on the track bar, Enter is the default button's: OK.
    OnNextModal([](QWidget*) {
        Key(Qt::Key_Tab);
        Key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("TrackBar1"));
        Key(Qt::Key_Right);
        Key(Qt::Key_Return);
    });
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Автокоррекция RTC произведена успешно.")});
    EXPECT_EQ(line.sim.Image()[10], 0x46);  // -7 one step toward +25

    // The main window's buttons take Enter too.
    Activate(form.get());
    line.sim.ClearLog();
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(0);
    W<QPushButton>(form.get(), "Button_Read_Ini")->setFocus();
    Key(Qt::Key_Return);
    EXPECT_EQ(line.sim.CommandCount(4), 2);
    W<QToolButton>(form.get(), "Button_Fixed")->setFocus();
    Key(Qt::Key_Return);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    Activate(form.get());
    W<QToolButton>(form.get(), "Button_Fixed")->setFocus();
    Key(Qt::Key_Enter);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(Window, TrackBarKeysGoThePlatformsWay)
{
    Start();
    OnNextModal([](QWidget* w) {
        auto* d = static_cast<TRTCCorrectionForm*>(w);
        d->TrackBar1->setFocus();
        const std::pair<int, int> steps[] = {{Qt::Key_Up, -8},       {Qt::Key_PageUp, -9}, {Qt::Key_Down, -8},
                                             {Qt::Key_PageDown, -7}, {Qt::Key_Right, -6},  {Qt::Key_Left, -7}};
        for (auto [key, want] : steps) {
            Key(key);
            EXPECT_EQ(d->TrackBar1->value(), want) << key;
        }
        EXPECT_EQ(d->l1->text(), QStringLiteral("-7 сек"));
        Key(Qt::Key_Escape);
    });
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
}

TEST_F(Window, QuickClickAfterBadMinutesIsLostAndEscRestores)
{
    Start();
    BoxRecorder rec;
    OnNextModal([&](QWidget* w) {
        auto* d = static_cast<TCountersForm*>(w);
        ASSERT_TRUE(d->e1->hasFocus());
        d->e1->setCursorPosition(6);
        QTest::keyClicks(d->e1, QStringLiteral("75"));
        EXPECT_EQ(d->e1->Value(), QStringLiteral("1234575"));
        QuickClick(d->BitBtn1);
        WaitForBoxes(rec, 1);
        Activate(d);  // as the window system does when the box goes
        EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": Введите значение минут в диапазоне 0-59")});
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(d->e1->hasFocus());
        // Esc puts back what the field held when the focus first came in; the dialog stays.
        Key(Qt::Key_Escape);
        EXPECT_EQ(d->e1->Value(), QStringLiteral("1234530"));
        EXPECT_TRUE(d->isVisible());
        Key(Qt::Key_Escape);  // unchanged now: Cancel
    });
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_EQ(rec.seen.size(), 1);
    EXPECT_EQ(line.sim.Image(), DeviceImage());
}

TEST_F(Window, QuickClickAfterAnIncompleteCounterIsLost)
{
    Start();
    BoxRecorder rec;
    OnNextModal([&](QWidget* w) {
        auto* d = static_cast<TCountersForm*>(w);
        d->e2->setFocus();
        d->e2->setCursorPosition(0);
        Key(Qt::Key_Delete);
        QuickClick(d->BitBtn1);
        WaitForBoxes(rec, 1);
        Activate(d);
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(d->e2->hasFocus());
        Key(Qt::Key_Escape);
        EXPECT_EQ(d->e2->text(), QStringLiteral("10000:00"));
        Key(Qt::Key_Escape);
    });
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": Введено неправильное значение. Используйте клавишу "
                                                            "[ESC] для отмены изменений.")});
    EXPECT_EQ(line.sim.CommandCount(0), 0);
}

TEST_F(Window, QuickClickAfterABadNumberOrAddressIsLost)
{
    Start();
    Activate(form.get());
    W<TMaskEdit>(form.get(), "Number")->setFocus();
    W<TMaskEdit>(form.get(), "Number")->setCursorPosition(0);
    QTest::keyClicks(W<TMaskEdit>(form.get(), "Number"), QStringLiteral("70000"));
    BoxRecorder rec;
    QuickClick(W<QPushButton>(form.get(), "Button_Read_Ini"));
    WaitForBoxes(rec, 1);
    Activate(form.get());
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: Номер прибора должен быть числом от 0 до 65535.")});
    EXPECT_EQ(line.sim.Log().size(), 0u);  // the read never ran
    EXPECT_TRUE(W<TMaskEdit>(form.get(), "Number")->hasFocus());
    Key(Qt::Key_Escape);
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("1    "));

    rec.seen.clear();
    ClockWatch clock;
    W<TMaskEdit>(form.get(), "Address")->setFocus();
    W<TMaskEdit>(form.get(), "Address")->setCursorPosition(0);
    QTest::keyClicks(W<TMaskEdit>(form.get(), "Address"), QStringLiteral("99"));
    ASSERT_EQ(W<TMaskEdit>(form.get(), "Address")->Value(), QStringLiteral("99"));
    QuickClick(W<QPushButton>(form.get(), "Button_Init"));
    WaitForBoxes(rec, 1);
    QTest::qWait(50);
    Activate(form.get());
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: Сетевой адрес прибора должен быть числом от 1 до 63.")});
    EXPECT_EQ(clock.shown, 0);
    EXPECT_TRUE(W<TMaskEdit>(form.get(), "Address")->hasFocus());
    EXPECT_EQ(line.sim.Log().size(), 0u);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    Key(Qt::Key_Escape);

    // The "Сервис" tab, by a click (the tab bar acts on the press and takes no focus) or by
    // Ctrl+Tab: the page stays, as with any other way out of the field.
    auto* pages = W<QTabWidget>(form.get(), "PageControl1");
    const std::function<void()> ways[] = {
        [&] { QTest::mouseClick(pages->tabBar(), Qt::LeftButton, Qt::NoModifier, pages->tabBar()->tabRect(1).center()); },
        [&] { Key(Qt::Key_Tab, Qt::ControlModifier); },
    };
    for (const auto& leave : ways) {
        rec.seen.clear();
        Activate(form.get());
        W<TMaskEdit>(form.get(), "Number")->setFocus();
        W<TMaskEdit>(form.get(), "Number")->setCursorPosition(0);
        QTest::keyClicks(W<TMaskEdit>(form.get(), "Number"), QStringLiteral("70000"));
        QSignalSpy pageChanges(pages, &QTabWidget::currentChanged);
        leave();
        WaitForBoxes(rec, 1);
        Activate(form.get());
        EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: Номер прибора должен быть числом от 0 до 65535.")});
        EXPECT_EQ(pageChanges.count(), 0);
        EXPECT_TRUE(W<TMaskEdit>(form.get(), "Number")->hasFocus());
        Key(Qt::Key_Escape);
    }
}

TEST_F(Window, TypingIntoTheConnectionListsChoosesAnItemAsAClickDoes)
{
    zsim::Simulator second(SimLine::NoPace());
    Settings()->setValue(QStringLiteral("Ports/COM2"), QString::fromStdString(second.StartPty()));
    Settings()->setValue(QStringLiteral("Ports/COM3"), QStringLiteral("/nonexistent/tty"));
    Start();
    Activate(form.get());
    auto* port = W<QComboBox>(form.get(), "Com_Port_Name");
    auto* speed = W<QComboBox>(form.get(), "Com_Port_Speed");
    auto type = [](const QString& keys) {
        for (const QChar c : keys) {
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            QApplication::processEvents();  // a person types one key an event turn
        }
    };
    BoxRecorder rec;
    speed->setFocus();
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(port->lineEdit()->hasFocus());
    type(QStringLiteral("com2"));
    EXPECT_EQ(rec.seen, QStringList{});
    EXPECT_EQ(port->currentText(), QStringLiteral("COM2"));
    EXPECT_EQ(Settings()->value(QStringLiteral("ComNumber")).toInt(), 2);
    ASSERT_TRUE(form->Session().IsOpen());
    Key(Qt::Key_Tab);
    type(QStringLiteral("9"));
    EXPECT_EQ(speed->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(form->Session().BaudRate(), 9600);
    EXPECT_EQ(Settings()->value(QStringLiteral("BaudRate")).toInt(), 1);
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(second.CommandCount(4), 2);  // the device on COM2 was read
    EXPECT_EQ(line.sim.CommandCount(4), 0);

    // Text that names no item opens and stores nothing; leaving shows the port in use again.
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    port->lineEdit()->selectAll();
    type(QStringLiteral("X7"));
    Key(Qt::Key_Tab);
    EXPECT_EQ(rec.seen, QStringList{});
    EXPECT_EQ(port->currentText(), QStringLiteral("COM2"));
    EXPECT_EQ(Settings()->value(QStringLiteral("ComNumber")).toInt(), 2);
    EXPECT_TRUE(form->Session().IsOpen());

    // A typed port that cannot be opened says so once, when its name is complete.
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    port->lineEdit()->selectAll();
    type(QStringLiteral("COM3"));
    WaitForBoxes(rec, 1);
    EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": Драйвер COM-порта: Ошибка открытия СОМ-порта.")});
    EXPECT_FALSE(form->Session().IsOpen());
    EXPECT_EQ(Settings()->value(QStringLiteral("ComNumber")).toInt(), 3);
}

TEST_F(Window, TabSelectsTheFieldAndTypingReplacesIt)
{
    Start();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    ASSERT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("256  "));
    Activate(form.get());
    W<TMaskEdit>(form.get(), "Address")->setFocus();
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(W<TMaskEdit>(form.get(), "Number")->hasFocus());
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->selectedText(), W<TMaskEdit>(form.get(), "Number")->text());
    QTest::keyClicks(W<TMaskEdit>(form.get(), "Number"), QStringLiteral("1"));
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("1    "));
    QTest::keyClicks(W<TMaskEdit>(form.get(), "Number"), QStringLiteral("7"));
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("17   "));
    Key(Qt::Key_Escape);
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("256  "));

    // A mouse click places the cursor and selects nothing; the digit goes where clicked.
    W<TMaskEdit>(form.get(), "Address")->setFocus();
    QTest::mouseClick(W<TMaskEdit>(form.get(), "Number"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(2, W<TMaskEdit>(form.get(), "Number")->height() / 2));
    ASSERT_TRUE(W<TMaskEdit>(form.get(), "Number")->hasFocus());
    EXPECT_FALSE(W<TMaskEdit>(form.get(), "Number")->hasSelectedText());
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->cursorPosition(), 0);
    QTest::keyClicks(W<TMaskEdit>(form.get(), "Number"), QStringLiteral("9"));
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("956  "));

    // Tab into a counter field selects it too: a typed digit does not just beep.
    OnNextModal([](QWidget* w) {
        auto* d = static_cast<TCountersForm*>(w);
        Key(Qt::Key_Tab);
        ASSERT_TRUE(d->e2->hasFocus());
        QTest::keyClicks(d->e2, QStringLiteral("3"));
        EXPECT_EQ(d->e2->text(), QStringLiteral("3____:__"));
        Key(Qt::Key_Escape);
        Key(Qt::Key_Escape);
    });
    W<QPushButton>(form.get(), "BitBtn2")->click();
}

TEST_F(Window, LeavingInitializationShowsTheWaitCursor)
{
    Start();
    std::atomic<int> shape{-1};
    line.sim.AddFault({zsim::FaultKind::Delay, 3, 1, 200});
    line.sim.SetLogSink([&](const std::string& l) {
        // The window is inside the exchange, waiting for the echo, when command 3 arrives.
        if (l.find("command 3") != std::string::npos) {
            const QCursor* c = QGuiApplication::overrideCursor();
            shape = c ? c->shape() : Qt::ArrowCursor;
        }
    });
    BoxRecorder rec;
    W<QPushButton>(form.get(), "Button_Deinit")->click();
    line.sim.SetLogSink(nullptr);
    EXPECT_EQ(shape.load(), Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Выход из режима инициализации произведен успешно.")});
}

TEST_F(Window, APortMappingIsReadAsWrittenNeverReplaced)
{
    // Written by hand, as a user would: the comma makes the file format read a list.
    const QString link = dir.path() + QStringLiteral("/usb-FTDI,x");
    ASSERT_EQ(::symlink(line.path.c_str(), link.toUtf8().constData()), 0);
    const QString conf = dir.path() + QStringLiteral("/ЛЮМРАД/Инициализация ЗЕНДИН.conf");
    {
        QFile f(conf);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Ports]\nCOM1=" + link.toUtf8() + "\nCOM2=/dev/a,/dev/b\nCOM3=\n");
    }
    EXPECT_EQ(ResolvePortName("COM1"), link.toStdString());
    EXPECT_EQ(ResolvePortName("COM2"), "/dev/a,/dev/b");
    EXPECT_EQ(ResolvePortName("COM3"), "");  // refused at open, not COM3's default device
    EXPECT_EQ(ResolvePortName("COM4"), "/dev/ttyS3");
    Start();
    ASSERT_TRUE(form->Session().IsOpen());
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(line.sim.CommandCount(4), 2);
    BoxRecorder rec;
    W<QComboBox>(form.get(), "Com_Port_Name")->setCurrentIndex(2);
    emit W<QComboBox>(form.get(), "Com_Port_Name")->activated(2);
    EXPECT_FALSE(form->Session().IsOpen());
    EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": Драйвер COM-порта: Ошибка открытия СОМ-порта.")});
}

TEST_F(Window, AfterTheLineDropsAndComesBackTheNextActionReopensThePort)
{
    // A device behind a link, as an adapter behind its /dev/serial/by-id name.
    zsim::Simulator device(SimLine::NoPace());
    const std::string link = dir.path().toStdString() + "/adapter";
    device.StartPty(link);
    device.SetImage(DeviceImage());
    Settings()->setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(link));
    Start();
    ASSERT_TRUE(form->Session().IsOpen());
    BoxRecorder rec;
    device.AddFault({zsim::FaultKind::DropLine, 4, 1, 0});  // the cable pulled during a read
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    ASSERT_EQ(rec.seen.size(), 1);
    ASSERT_FALSE(device.LineUp());

    // Still unplugged: the reopen fails and the action fails as it always did.
    rec.seen.clear();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(rec.seen, QStringList{kTitle + QStringLiteral(": Драйвер COM-порта: Не удалось очистить COM-порт.")});

    // Plugged back: the next action works without choosing the port again.
    device.Replug();
    device.ClearLog();
    rec.seen.clear();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(rec.seen, QStringList{});
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("256  "));
    EXPECT_EQ(device.CommandCount(4), 2);
}

TEST_F(Window, APortMissingAtStartOrReplugedWhileIdleIsOpenedBeforeTheFirstByte)
{
    zsim::Simulator device(SimLine::NoPace());
    const std::string link = dir.path().toStdString() + "/adapter";
    device.SetImage(DeviceImage());
    Settings()->setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(link));
    BoxRecorder rec;
    Start();  // the adapter is not plugged in yet: the start says so
    EXPECT_FALSE(form->Session().IsOpen());
    EXPECT_EQ(rec.seen.size(), 1);
    // Plugged in: the next action opens the chosen port itself.
    device.StartPty(link);
    rec.seen.clear();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(rec.seen, QStringList{});
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("256  "));
    // Pulled and plugged back while the window sat idle: the first action works.
    device.Replug();
    device.ClearLog();
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    EXPECT_EQ(rec.seen, QStringList{});
    EXPECT_EQ(device.CommandCount(4), 2);
}

TEST_F(Window, TheV2FlagIsBit4OfPosition10)
{
    for (auto [byte10, checked] : {std::pair{0x10, true}, std::pair{0xEF, false}, std::pair{0x34, true}}) {
        auto image = DeviceImage();
        image[9] = static_cast<uint8_t>(byte10);
        line.sim.SetImage(image);
        Start();
        W<QCheckBox>(form.get(), "CheckBox1")->setChecked(!checked);
        W<QPushButton>(form.get(), "Button_Read_Ini")->click();
        EXPECT_EQ(W<QCheckBox>(form.get(), "CheckBox1")->isChecked(), checked) << byte10;
        form.reset();
    }
}

TEST_F(Window, EachPortNameShowsItsDeviceAsToolTip)
{
    Settings()->setValue(QStringLiteral("Ports/COM2"), QStringLiteral("/dev/ttyUSB7"));
    Start();
    auto* combo = W<QComboBox>(form.get(), "Com_Port_Name");
    EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString().toStdString(), line.path);
    EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_EQ(combo->itemData(2, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS2"));
}

// ------------------------------------------------------------------ backups, the journal, restore

namespace {
std::vector<std::filesystem::path> BackupFiles()
{
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    const std::filesystem::path dir = (DataFolder() + QStringLiteral("/backups")).toStdString();
    if (std::filesystem::exists(dir, ec))
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
            if (e.is_regular_file())
                out.push_back(e.path());
    return out;
}
}  // namespace

TEST_F(Window, EachWriteKeepsTheImageAsReadAndAJournalLine)
{
    Start();
    // RTC through its dialog: Page Down once, OK.
    OnNextModal([](QWidget* w) {
        W<QSlider>(w, "TrackBar1")->setFocus();
        Key(Qt::Key_PageDown);
        Key(Qt::Key_Return);
    });
    BoxRecorder rec;
    // While "Информация" is open the write's outcome is on record already: a kill or a power cut
    // then would not leave a verified write without it.
    QString atBox;
    rec.answer = [&](QWidget* box) {
        atBox = TServiceRecords::ReadJournal()[0].outcome;
        PressFirst(box);
    };
    W<QPushButton>(form.get(), "BitBtn1")->click();
    ASSERT_EQ(rec.seen, QStringList{QStringLiteral("Информация: Автокоррекция RTC произведена успешно.")});
    EXPECT_EQ(atBox, QStringLiteral("выполнено"));
    const auto files = BackupFiles();
    ASSERT_EQ(files.size(), 1u);
    TImageBuffer backup;
    QString error;
    ASSERT_TRUE(TServiceRecords::LoadImageFile(QString::fromStdString(files[0].string()), backup, error)) << error.toStdString();
    EXPECT_EQ(0, std::memcmp(backup.Image(), DeviceImage().data(), 72));  // before the write
    // The RTC write does not ask the model: the backup names none rather than the list's.
    QFile head(QString::fromStdString(files[0].string()));
    ASSERT_TRUE(head.open(QIODevice::ReadOnly));
    EXPECT_TRUE(head.readAll().contains("# model: unknown (not asked)\n"));
    const auto journal = TServiceRecords::ReadJournal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].action, QStringLiteral("rtc"));
    EXPECT_EQ(journal[0].outcome, QStringLiteral("выполнено"));
    EXPECT_EQ(journal[0].changes, QStringList{QStringLiteral("Автокоррекция RTC: -7 сек -> -6 сек")});
    EXPECT_EQ(journal[0].serial, QStringLiteral("256"));

    // A cancelled counters dialog: read, nothing written, journaled as cancelled, no backup.
    OnNextModal([](QWidget*) { Key(Qt::Key_Escape); });
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(1);
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(BackupFiles().size(), 1u);
    EXPECT_EQ(TServiceRecords::ReadJournal()[0].outcome, QStringLiteral("отменено"));
}

TEST_F(Window, WithoutABackupItAsksFirstAndNoIsTheDefault)
{
    // A file where the data folder would be: neither a backup nor the journal can be written.
    const std::string folder = DataFolder().toStdString();
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path());
    std::ofstream(folder) << "not a folder";
    Start();
    BoxRecorder rec;
    rec.answer = [](QWidget* box) { QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return); };
    OnNextModal([](QWidget*) { Key(Qt::Key_Return); });  // the RTC dialog: OK
    W<QPushButton>(form.get(), "BitBtn1")->click();
    ASSERT_GE(rec.seen.size(), 1);
    EXPECT_TRUE(rec.seen[0].startsWith(QStringLiteral("Подтвердите: Не удалось сохранить резервную копию")))
        << rec.seen[0].toStdString();
    EXPECT_TRUE(rec.seen[0].endsWith(QStringLiteral("Продолжить без нее?"))) << rec.seen[0].toStdString();
    EXPECT_EQ(line.sim.CommandCount(0), 0);  // Enter took "Нет": nothing written
    // The journal that cannot be written is said once a run, and the work goes on.
    EXPECT_EQ(rec.seen.filter(QStringLiteral("журнал")).size(), 1);

    rec.answer = [](QWidget* box) { PressFirst(box); };  // "Да": without a backup
    OnNextModal([](QWidget*) { Key(Qt::Key_Return); });
    W<QPushButton>(form.get(), "BitBtn1")->click();
    EXPECT_EQ(line.sim.CommandCount(0), 1);
    EXPECT_EQ(rec.seen.filter(QStringLiteral("журнал")).size(), 1);
    EXPECT_EQ(rec.seen.last(), QStringLiteral("Информация: Автокоррекция RTC произведена успешно."));
    std::filesystem::remove(folder);
}

TEST_F(Window, TheJournalDialogRestoresSettingsAndKeepsTheCounters)
{
    Start();
    // A wrong initialization: serial number 999 typed by the user.
    W<QPushButton>(form.get(), "Button_Read_Ini")->click();
    W<TMaskEdit>(form.get(), "Number")->SetValue(QStringLiteral("999  "));
    AnswerClock(true);
    BoxRecorder rec;
    W<QPushButton>(form.get(), "Button_Init")->click();
    auto counted = line.sim.Image();
    counted[12] = 0x42;  // the device counts on
    line.sim.SetImage(counted);
    rec.active = false;

    // Журнал: newest first; the filter; the init line's backup back, counters kept.
    std::vector<QString> asked;
    OnNextModal([&](QWidget* w) {
        auto* table = W<QTableView>(w, "Table");
        EXPECT_EQ(table->model()->rowCount(), 3);  // read, init, and the leave ("Да") on its own line
        EXPECT_EQ(table->model()->index(0, 1).data().toString(), QStringLiteral("Выход из инициализации"));
        EXPECT_EQ(table->model()->index(1, 1).data().toString(), QStringLiteral("Инициализация"));
        // The initialization is found under the number it wrote as well as the one it read.
        QTest::keyClicks(W<QLineEdit>(w, "Filter"), QStringLiteral("99"));
        EXPECT_EQ(table->model()->rowCount(), 0);  // whole numbers: 99 is not 999
        QTest::keyClicks(W<QLineEdit>(w, "Filter"), QStringLiteral("9"));
        EXPECT_EQ(table->model()->rowCount(), 2);
        W<QLineEdit>(w, "Filter")->clear();
        table->setCurrentIndex(table->model()->index(1, 0));
        EXPECT_TRUE(W<QPlainTextEdit>(w, "Details")->toPlainText().contains(QStringLiteral("Заводской номер: 256 -> 999")));
        // The change list, answered "Да"; no other-device question: the device holds the number
        // the undone initialization gave it.
        OnNextModal([&](QWidget* box) {
            asked.push_back(BoxText(box));
            OnNextModal([&](QWidget* info) {
                asked.push_back(BoxText(info));
                PressFirst(info);
            }, box);
            W<QPushButton>(box, "btn0")->click();
        }, w);
        QTest::mouseClick(W<QPushButton>(w, "Restore"), Qt::LeftButton);
        EXPECT_EQ(table->model()->rowCount(), 4);  // the restore is journaled
        W<QPushButton>(w, "Close")->click();
    });
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(1);
    W<QPushButton>(form.get(), "BitBtn3")->click();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("Заводской номер: 999 -> 256\n"))) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].endsWith(QStringLiteral("\nПродолжить?"))) << asked[0].toStdString();
    EXPECT_TRUE(asked[1].contains(QStringLiteral("восстановлены"))) << asked[1].toStdString();
    const auto now = line.sim.Image();
    EXPECT_EQ(now[6], 0x01);
    EXPECT_EQ(now[7], 0x00);      // 256 again
    EXPECT_EQ(now[12], 0x42);     // the counter as the device had it
    EXPECT_EQ(now[30], DeviceImage()[30]);
    // The page shows what the device holds now: an initialization would not undo the restore.
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(0);
    EXPECT_EQ(W<TMaskEdit>(form.get(), "Number")->Value(), QStringLiteral("256  "));
    const auto restoreLine = TServiceRecords::ReadJournal()[0];
    ASSERT_FALSE(restoreLine.changes.isEmpty());
    EXPECT_TRUE(restoreLine.changes[0].startsWith(QStringLiteral("из резервной копии: backups/256/")))
        << restoreLine.changes[0].toStdString();

    // With the counters the question's default is "Нет": Enter there writes nothing.
    line.sim.ClearLog();
    QString question;
    OnNextModal([&](QWidget* w) {
        auto* table = W<QTableView>(w, "Table");
        table->setCurrentIndex(table->model()->index(2, 0));  // restore, leave, init, read: the init line
        QTest::mouseClick(W<QCheckBox>(w, "WithCounters"), Qt::LeftButton, Qt::NoModifier, QPoint(4, 8));
        OnNextModal([&](QWidget* box) {
            question = BoxText(box);
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
        }, w);
        QTest::mouseClick(W<QPushButton>(w, "Restore"), Qt::LeftButton);
        W<QPushButton>(w, "Close")->click();
    });
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(1);
    W<QPushButton>(form.get(), "BitBtn3")->click();
    EXPECT_TRUE(question.contains(QStringLiteral("tp1: "))) << question.toStdString();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_EQ(line.sim.Image()[12], 0x42);

    // Without the counters too: "Записать в прибор из резервной копии" defaults to "Нет", and
    // Enter pressed twice or Esc writes nothing (the restore line's backup would put 999 back).
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QStringList questions;
        OnNextModal([&](QWidget* w) {
            auto* table = W<QTableView>(w, "Table");
            for (int r = 0; r < table->model()->rowCount(); ++r)  // the restore that was done
                if (table->model()->index(r, 1).data().toString() == QStringLiteral("Восстановление") &&
                    table->model()->index(r, 5).data().toString() == QStringLiteral("выполнено"))
                    table->setCurrentIndex(table->model()->index(r, 0));
            OnNextModal([&](QWidget* box) {
                questions << BoxText(box);
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
                if (key == Qt::Key_Return && QApplication::activeModalWidget() == box)
                    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
            }, w);
            QTest::mouseClick(W<QPushButton>(w, "Restore"), Qt::LeftButton);
            W<QPushButton>(w, "Close")->click();
        });
        W<QPushButton>(form.get(), "BitBtn3")->click();
        ASSERT_EQ(questions.size(), 1) << key;
        EXPECT_TRUE(questions[0].contains(QStringLiteral("Заводской номер: 256 -> 999"))) << questions[0].toStdString();
        EXPECT_EQ(line.sim.CommandCount(0), 0) << key;
        EXPECT_EQ(line.sim.Image()[7], 0x00);
    }
}

TEST_F(Window, TheJournalDialogOpensSafeKeepsTheChosenLineAndSaysWhyRestoreIsGreyed)
{
    TServiceRecords records(QStringLiteral("zenda-init tests"));
    const QString kept = QStringLiteral("backups/256/kept.hex");
    QDir().mkpath(DataFolder() + QStringLiteral("/backups/256"));
    QFile(DataFolder() + u'/' + kept).open(QIODevice::WriteOnly);
    auto journal = [&](const char* time, const char* action, const char* model, const QString& backup) {
        TJournalLine l;
        l.time = QString::fromLatin1(time);
        l.action = QString::fromLatin1(action);
        l.port = QStringLiteral("COM1");
        l.model = QString::fromLatin1(model);
        l.serial = QStringLiteral("256");
        l.address = QStringLiteral("5");
        l.outcome = QStringLiteral("выполнено");
        l.backup = backup;
        ASSERT_TRUE(records.Journal(l));
    };
    journal("2026-03-07T09:00:00+03:00", "read", "ZENDA1", {});
    journal("2026-03-07T09:01:00", "rtc", "", kept);
    journal("2026-03-07T09:02:00", "counters", "", QStringLiteral("backups/256/gone.hex"));
    TJournalForm d;
    std::vector<bool> restored;  // withCounters of each restore asked for
    d.OnRestore = [&](const QString& file, bool withCounters, int) {
        EXPECT_EQ(file, DataFolder() + u'/' + kept);
        restored.push_back(withCounters);
        journal("2026-03-07T09:03:00", "restore", "ZENDA1", {});  // the restore's own line, newest
    };
    d.Load();
    OnNextModal([&](QWidget*) {
        auto* table = W<QTableView>(&d, "Table");
        EXPECT_TRUE(table->hasFocus());
        EXPECT_EQ(table->model()->index(0, 1).data().toString(), QStringLiteral("Счетчики"));
        EXPECT_EQ(table->model()->index(1, 1).data().toString(), QStringLiteral("Коррекция RTC"));
        EXPECT_EQ(table->model()->index(2, 1).data().toString(), QStringLiteral("Считывание"));
        // Its time whole, with a zone other than UTC, in a column wide enough for it.
        const QString time = table->model()->index(2, 0).data().toString();
        EXPECT_EQ(time, QStringLiteral("07.03.2026 09:00:00 UTC+03:00"));
        EXPECT_GT(table->columnWidth(0), table->fontMetrics().horizontalAdvance(time));
        EXPECT_EQ(table->model()->index(1, 0).data().toString(), QStringLiteral("07.03.2026 09:01:00"));
        // Each greyed "Восстановить" says why.
        auto* restore = W<QPushButton>(&d, "Restore");
        EXPECT_FALSE(restore->isEnabled());
        EXPECT_EQ(W<QLabel>(&d, "RestoreNote")->text(), QStringLiteral("Файл резервной копии не найден"));
        Key(Qt::Key_End, Qt::ControlModifier);
        EXPECT_FALSE(restore->isEnabled());
        EXPECT_EQ(W<QLabel>(&d, "RestoreNote")->text(), QStringLiteral("У этой строки нет резервной копии"));
        EXPECT_TRUE(W<QPlainTextEdit>(&d, "Details")->toPlainText().contains(QStringLiteral("\nZENDA1 №256, адрес 5\n")));
        Key(Qt::Key_Up);
        EXPECT_TRUE(restore->isEnabled());
        EXPECT_EQ(W<QLabel>(&d, "RestoreNote")->text(), QString());
        EXPECT_TRUE(W<QPlainTextEdit>(&d, "Details")->toPlainText().contains(QStringLiteral("\n№256, адрес 5\n")));
        // Restored with the counters: the line stays chosen though a newer one came in.
        QTest::mouseClick(W<QCheckBox>(&d, "WithCounters"), Qt::LeftButton, Qt::NoModifier, QPoint(4, 8));
        QTest::mouseClick(restore, Qt::LeftButton);
        EXPECT_EQ(table->model()->rowCount(), 4);
        EXPECT_EQ(table->model()->index(table->currentIndex().row(), 1).data().toString(),
                  QStringLiteral("Коррекция RTC"));
        // Enter in the filter filters; the dialog stays.
        QTest::mouseClick(W<QLineEdit>(&d, "Filter"), Qt::LeftButton);
        QTest::keyClicks(W<QLineEdit>(&d, "Filter"), QStringLiteral("99"));
        Key(Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(table->model()->rowCount(), 0);
        W<QLineEdit>(&d, "Filter")->clear();
        W<QPushButton>(&d, "Close")->click();
    });
    d.exec();
    ASSERT_EQ(restored, std::vector<bool>{true});
    // Opened again: the counters left out, the focus on the table; Enter twice restores nothing.
    d.Load();
    OnNextModal([&](QWidget*) {
        EXPECT_FALSE(W<QCheckBox>(&d, "WithCounters")->isChecked());
        EXPECT_TRUE(W<QTableView>(&d, "Table")->hasFocus());
        Key(Qt::Key_Return);
    });
    EXPECT_EQ(d.exec(), QDialog::Accepted);
    EXPECT_EQ(restored.size(), 1u);
}

TEST_F(Window, ABackupThatCannotBeReadIsRefusedInRussianAndJournaled)
{
    Start();
    const QString file = dir.path() + QStringLiteral("/backup.hex");
    const std::pair<QByteArray, const char*> cases[] = {
        {"# comment\n00 ZZ\n", "\"ZZ\" не является шестнадцатеричным байтом."},
        {QByteArray("00 ").repeated(60), "в файле 60 байт вместо 72."},
        {QByteArray("00 ").repeated(73), "в файле 73 байта вместо 72."},
        {QByteArray(), "в файле 0 байт вместо 72."},
    };
    BoxRecorder rec;
    for (const auto& [text, shown] : cases) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        rec.seen.clear();
        RunGuarded([&] { form->RestoreBackup(file, false); });
        EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: ") + file + QStringLiteral(": ") + QString::fromUtf8(shown)});
    }
    QFile::remove(file);
    rec.seen.clear();
    RunGuarded([&] { form->RestoreBackup(file, false); });
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: ") + file + QStringLiteral(": файл не найден.")});
    EXPECT_EQ(line.sim.Log().size(), 0u);
    // Journaled as a failed restore that names the file.
    const auto journal = TServiceRecords::ReadJournal();
    ASSERT_EQ(journal.size(), 5u);
    EXPECT_EQ(journal[0].action, QStringLiteral("restore"));
    EXPECT_EQ(journal[0].outcome, file + QStringLiteral(": файл не найден."));
    EXPECT_EQ(journal[0].changes, QStringList{QStringLiteral("из резервной копии: ") + file});
}

TEST_F(Window, InitializationAndCountersEachLeaveOneBackupAndOneLine)
{
    Start();
    AnswerClock(true);
    BoxRecorder rec;  // "Да": the leave, journaled on a line of its own after the initialization's
    W<QPushButton>(form.get(), "Button_Init")->click();
    ASSERT_EQ(BackupFiles().size(), 1u);
    auto journal = TServiceRecords::ReadJournal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1].action, QStringLiteral("init"));
    EXPECT_TRUE(journal[1].changes.contains(QStringLiteral("счетчики обнулены")));
    EXPECT_EQ(journal[1].model, QStringLiteral("ZENDA1"));
    EXPECT_EQ(journal[0].action, QStringLiteral("leave"));
    EXPECT_EQ(journal[0].outcome, QStringLiteral("выполнено"));
    EXPECT_EQ(journal[0].serial, journal[1].WrittenSerial().isEmpty() ? journal[1].serial : journal[1].WrittenSerial());
    EXPECT_EQ(journal[0].model, QStringLiteral("ZENDA1"));
    EXPECT_LE(journal[1].time, journal[0].time);

    OnNextModal([](QWidget* w) { W<QPushButton>(w, "BitBtn1")->click(); });  // counters: OK as shown
    W<QPushButton>(form.get(), "BitBtn2")->click();
    EXPECT_EQ(BackupFiles().size(), 2u);
    journal = TServiceRecords::ReadJournal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].action, QStringLiteral("counters"));
    EXPECT_EQ(journal[0].outcome, QStringLiteral("выполнено"));
}

TEST_F(Window, AFailedWriteIsJournaledWithTheMessageSeenAndItsTraffic)
{
    Start();
    line.sim.AddFault({zsim::FaultKind::CorruptReadBack, 4});
    OnNextModal([](QWidget*) { Key(Qt::Key_Return); });  // RTC: OK
    BoxRecorder rec;
    W<QPushButton>(form.get(), "BitBtn1")->click();
    ASSERT_EQ(rec.seen.size(), 1);  // one box for one failed action
    const auto journal = TServiceRecords::ReadJournal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].outcome, rec.seen[0].mid(rec.seen[0].indexOf(u' ') + 1).replace(u'\n', u' '));
    // The write reached the device all the same: the silent read after it (no fourth box) says so.
    EXPECT_EQ(journal[0].changes.value(0), QStringLiteral("после сбоя прочитано: прибор хранит новые настройки"));
    ASSERT_FALSE(journal[0].traffic.isEmpty());
    QFile traffic(DataFolder() + u'/' + journal[0].traffic);
    ASSERT_TRUE(traffic.open(QIODevice::ReadOnly));
    EXPECT_EQ(traffic.readAll().count(" -> 00\n"), 3);  // the three write attempts
    EXPECT_EQ(BackupFiles().size(), 1u);  // the backup before the first attempt
}

// A ZENDA3's backup with a frequency input is not written onto a ZENDA1 from the journal: the
// connected model's rules refuse it, and nothing goes to the device.
TEST_F(Window, ARestoreTheConnectedModelDoesNotTakeIsRefused)
{
    Start();
    TImageBuffer freq;
    const auto img = DeviceImage();
    std::copy(img.begin(), img.end(), freq.Image());
    TDeviceSettings(freq).SetInputType(1, 2);
    TServiceRecords records(QStringLiteral("test"));
    TJournalLine l;
    l.action = QStringLiteral("init");
    l.model = QStringLiteral("ZENDA3");
    l.serial = QStringLiteral("256");
    l.outcome = QStringLiteral("выполнено");
    l.backup = records.SaveBackup(freq, l.action, QStringLiteral("COM1"), l.model);
    ASSERT_TRUE(records.Journal(l));
    line.sim.ClearLog();
    BoxRecorder rec;
    OnNextModal([&](QWidget* w) {
        QTest::mouseClick(W<QPushButton>(w, "Restore"), Qt::LeftButton);
        W<QPushButton>(w, "Close")->click();
    });
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(1);
    W<QPushButton>(form.get(), "BitBtn3")->click();
    ASSERT_EQ(rec.seen.size(), 1) << rec.seen.join(u'|').toStdString();
    EXPECT_TRUE(rec.seen[0].startsWith(QStringLiteral(
        "Ошибка: Резервная копия не подходит к подключенному прибору ZENDA1: канал 1, тип входного сигнала")))
        << rec.seen[0].toStdString();
    EXPECT_EQ(line.sim.CommandCount(0), 0);
    EXPECT_TRUE(TServiceRecords::ReadJournal()[0].outcome.contains(QStringLiteral("не подходит")));
}

// ------------------------------------------------------------------ the actions under a face of their own

namespace {
// A face that is neither the window nor zenda: what a new face gets from the actions.
struct TScriptFace : TActionFace {
    std::vector<TQuestion::Kind> asked;
    std::vector<bool> defaults;
    QStringList informed;
    std::string last;
    [[noreturn]] void ErrorAbort(const std::string& Msg, const std::string&) override
    {
        last = Msg;
        throw EAbort();
    }
    bool Ask(const TQuestion& q) override
    {
        asked.push_back(q.kind);
        defaults.push_back(q.defaultYes);
        return q.defaultYes;  // Enter
    }
    void Inform(const QString& text) override { informed << text; }
    [[noreturn]] void Refuse(const QString& text) override
    {
        last = text.toStdString();
        throw EAbort();
    }
    QString PortText() const override { return QStringLiteral("script"); }
    void OpenLine(TDeviceSession& s) override
    {
        if (!s.IsOpen())
            s.Open(0, 4800);
    }
    QString ShownError() const override { return QString::fromStdString(last); }
    void JournalFailed(const QString& error) override { ADD_FAILURE() << error.toStdString(); }
};
}  // namespace

TEST_F(Window, ActionsGiveAnyFaceWhatWasReadWrittenAndJournaled)
{
    TScriptFace face;
    TImageBuffer image;
    TDeviceActions actions(face, image, QStringLiteral("script 1"));
    TDeviceSettings settings(image);
    const auto before = DeviceImage();

    // A write: the edit sees the image as read; the result holds both images, the changes, the backup,
    // and is the journal's line.
    const TActionResult& r = actions.Counters([&] {
        EXPECT_EQ(0, std::memcmp(image.Image(), before.data(), 72));
        settings.SetCounterText(TCounter::Tp1, "0001234");
        return true;
    });
    EXPECT_TRUE(r.done);
    EXPECT_FALSE(r.modelAsked);  // as the window's counters: no model query
    EXPECT_EQ(0, std::memcmp(r.read.Image(), before.data(), 72));
    const auto after = line.sim.Image();
    EXPECT_EQ(0, std::memcmp(r.written.Image(), after.data(), 72));
    EXPECT_NE(after, before);
    EXPECT_EQ(face.informed, QStringList{QStringLiteral("Счетчики установлены")});
    auto journal = TServiceRecords::ReadJournal();
    ASSERT_EQ(journal.size(), 1u);
    for (const TJournalLine& l : {r.line, journal[0]}) {
        EXPECT_EQ(l.outcome, QStringLiteral("выполнено"));
        EXPECT_EQ(l.port, QStringLiteral("script"));
        EXPECT_FALSE(l.changes.isEmpty());
    }
    EXPECT_EQ(r.line.changes, journal[0].changes);
    EXPECT_EQ(r.line.backup, journal[0].backup);
    EXPECT_EQ(r.line.time, journal[0].time);
    TImageBuffer saved;
    QString error;
    ASSERT_TRUE(TServiceRecords::LoadImageFile(DataFolder() + u'/' + r.line.backup, saved, error));
    EXPECT_EQ(0, std::memcmp(saved.Image(), before.data(), 72));

    // An edit that says no: nothing written, no backup, journaled as cancelled.
    actions.askModel = true;
    const TActionResult& c = actions.Rtc([] { return false; });
    EXPECT_TRUE(c.cancelled);
    EXPECT_FALSE(c.done || c.wrote);
    EXPECT_TRUE(c.modelAsked);
    EXPECT_EQ(line.sim.Image(), after);
    EXPECT_EQ(BackupFiles().size(), 1u);
    EXPECT_EQ(TServiceRecords::ReadJournal()[0].outcome, QStringLiteral("отменено"));

    // A restore that would put billing data back asks with "no" as the default, and Enter keeps the device.
    const TActionResult& back = actions.Restore(
        DataFolder() + u'/' + r.line.backup, [&] { return saved; }, true);
    EXPECT_EQ(face.asked, std::vector{TActionFace::TQuestion::Restore});
    EXPECT_EQ(face.defaults, std::vector{false});
    EXPECT_TRUE(back.cancelled);
    EXPECT_EQ(line.sim.Image(), after);
    journal = TServiceRecords::ReadJournal();
    EXPECT_EQ(journal[0].changes.value(0), QStringLiteral("из резервной копии: ") + r.line.backup);

    // A failure ends in the face's message, and the journal keeps it.
    line.sim.AddFault({zsim::FaultKind::WrongEcho, -1, -1, 0});
    EXPECT_THROW(actions.Read(), EAbort);
    EXPECT_EQ(TServiceRecords::ReadJournal()[0].outcome, QString::fromStdString(face.last));
    EXPECT_FALSE(face.last.empty());
}

// ------------------------------------------------------------------ the commissioning protocol

namespace {
// Stands in for the system's viewer: notes what it was asked to open.
class TViewer : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened << url; }
};
}  // namespace

TEST_F(Window, ProtocolOfAnInitializationFromTheJournalAndBesideIt)
{
    TViewer viewer;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &viewer, "Open");
    Start();
    auto* beside = W<QPushButton>(form.get(), "Button_Protocol");
    EXPECT_FALSE(beside->isEnabled());  // no write yet
    QTest::mouseClick(W<QPushButton>(form.get(), "Button_Read_Ini"), Qt::LeftButton);
    W<TMaskEdit>(form.get(), "Number")->SetValue(QStringLiteral("4660 "));
    AnswerClock(true);
    {
        BoxRecorder rec;  // "Да": leave initialization mode
        QTest::mouseClick(W<QPushButton>(form.get(), "Button_Init"), Qt::LeftButton);
    }
    EXPECT_TRUE(beside->isEnabled());

    // From the journal: the initialization, under its leave's line; the parties typed in their dialog.
    OnNextModal([&](QWidget* journal) {
        auto* table = W<QTableView>(journal, "Table");
        EXPECT_EQ(table->model()->index(0, 1).data().toString(), QStringLiteral("Выход из инициализации"));
        table->setCurrentIndex(table->model()->index(1, 0));
        OnNextModal(
            [&](QWidget* parties) {
                EXPECT_EQ(parties->windowTitle(), QStringLiteral("Данные протокола"));
                W<QLineEdit>(parties, "Engineer")->setText(QStringLiteral("Петров П. П."));
                // A long name is kept whole (the page wraps it): 225 characters, not 200.
                W<QLineEdit>(parties, "Organisation")->setText(QString(225, u'Ж'));
                QTest::keyClick(parties, Qt::Key_Return);
            },
            journal);
        QTest::mouseClick(W<QPushButton>(journal, "Protocol"), Qt::LeftButton);
        W<QPushButton>(journal, "Close")->click();
    });
    W<QTabWidget>(form.get(), "PageControl1")->setCurrentIndex(1);
    QTest::mouseClick(W<QPushButton>(form.get(), "BitBtn3"), Qt::LeftButton);
    ASSERT_EQ(viewer.opened.size(), 1);
    const QString first = viewer.opened[0].toLocalFile();
    EXPECT_TRUE(first.startsWith(DataFolder() + QStringLiteral("/protocols/"))) << first.toStdString();
    const std::string text = PdfText(first.toStdString());
    EXPECT_EQ(TProtocolParties::Load().organisation, QString(225, u'Ж'));
    for (const char* w : {"4660", "Петров П. П.", "Инициализация", "записано в прибор и проверено чтением",
                          "прибор вышел из режима инициализации"})
        EXPECT_NE(text.find(w), std::string::npos) << w << "\n" << text;

    // Beside "Журнал": the same write, the parties offered again; a new number, a new file.
    // The meter on channel 1 typed this time: its reading takes digits and one decimal point only.
    OnNextModal([&](QWidget* parties) {
        EXPECT_EQ(W<QLineEdit>(parties, "Engineer")->text(), QStringLiteral("Петров П. П."));
        QTest::keyClicks(W<QLineEdit>(parties, "MeterType1"), QStringLiteral("WFK24.D080"));
        // A thousands separator is refused, not read as 12,3456; the dialog stays for the fix.
        auto* reading = W<QLineEdit>(parties, "MeterReading1");
        QString refused;
        for (const char* typed : {"12,345.6", "12.345,6"}) {
            reading->clear();
            QTest::keyClicks(reading, QString::fromLatin1(typed));
            OnNextModal([&](QWidget* box) {
                refused = BoxText(box);
                PressFirst(box);
            }, parties);
            QTest::keyClick(parties, Qt::Key_Return);
            EXPECT_TRUE(parties->isVisible());
            EXPECT_TRUE(refused.startsWith(QStringLiteral("Канал 1, Показания, м³: \"%1\" не число").arg(QString::fromLatin1(typed))))
                << refused.toStdString();
            EXPECT_EQ(parties->focusWidget(), reading);
        }
        reading->clear();
        QTest::keyClicks(reading, QStringLiteral("12x.5,"));
        QTest::keyClick(parties, Qt::Key_Return);
    });
    QTest::mouseClick(W<QPushButton>(form.get(), "BitBtn4"), Qt::LeftButton);
    ASSERT_EQ(viewer.opened.size(), 2);
    const std::string second = PdfText(viewer.opened[1].toLocalFile().toStdString());
    for (const char* w : {"Счетчики, подключенные к каналам", "WFK24.D080", "12,5 м³"})
        EXPECT_NE(second.find(w), std::string::npos) << w << "\n" << second;
    EXPECT_NE(viewer.opened[1], viewer.opened[0]);
    EXPECT_TRUE(viewer.opened[1].toLocalFile().contains(QStringLiteral("-N2-4660-init"))) << viewer.opened[1].toString().toStdString();
    // The same device read again keeps its protocol; another device on the line does not get the
    // previous one's.
    QTest::mouseClick(W<QPushButton>(form.get(), "Button_Read_Ini"), Qt::LeftButton);
    EXPECT_TRUE(beside->isEnabled());
    auto other = line.sim.Image();
    other[6] = 0x12;
    other[7] = 0x35;  // № 4661: another device
    line.sim.SetImage(other);
    QTest::mouseClick(W<QPushButton>(form.get(), "Button_Read_Ini"), Qt::LeftButton);
    EXPECT_FALSE(beside->isEnabled());
    EXPECT_FALSE(W<QPushButton>(form.get(), "BitBtn4")->isEnabled());
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

#include "ui_test.moc"
