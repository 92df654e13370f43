// The main window: connection settings, the "Инициализация" and "Сервис" pages, and every
// user action on the device.
#pragma once

#include <QHash>

#include <optional>

#include <QWidget>

#include <memory>

#include "actions/actions.h"
#include "channels.h"
#include "image.h"
#include "qtdeviceui.h"
#include "records/records.h"
#include "session.h"
#include "otherwrite.h"
#include "settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class TChannelGrid;
class TChannelsModel;
class TMaskEdit;
class TClockVerifyForm;
class TRTCCorrectionForm;
class TCountersForm;
class TJournalForm;
class TProtocolForm;

class QProcess;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The service dialogs, created by the program right after the window.
    void CreateServiceDialogs();

    // Handlers and methods
    void Form_Create();
    void Change_Port_and_Speed();
    void Button_ExitClick();
    void Button_FixedClick();
    void Button_Read_IniClick();
    void Button_DeinitClick();
    void Button_InitClick();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();  // the journal
    void ProtocolClick();  // the protocol of this run's last completed write
    void NumberExit();
    void AddressExit();
    void Device_VersionChange();
    void DBGrid1CellClick(int row);
    void FormKeyDown(int key);

    void CheckComOpened();
    void DoOpenCom();
    void DoCloseCom();
    void WriteComSettings();
    void ReadIniParams();
    void InitializeDevice();
    void InitializeDeviceConfirmed();  // after the clock check's "Да"
    void ReadSettingsFromDevice();
    // The page shows the image buffer as the device holds it (after a read or a restore).
    void ShowDeviceSettings(uint8_t modelCode);
    void ValidateDeviceNumber();
    void ValidateDeviceAddress();
    bool NumberAccepted() const;
    bool AddressAccepted() const;
    void LoadChannels();
    void StoreChannels();
    void ApplyModel1();
    void ApplyModel23();

    // What the window owns: the device session (the port and the exchange; the device
    // operations DoCommand, ReadDeviceVersion, ReadDataFromDevice, SendInitData and
    // LeaveInitMode are its calls), the image buffer and the channel table.
    TDeviceSession& Session() { return actions_->Session(); }
    TImageBuffer& Image() { return image_; }
    TChannelTable& Channels() { return cdsChannels; }
    // Writes a backup's settings back (the journal dialog's "Восстановить").
    // undone: the number the journal line's write gave the device (its undo), -1 otherwise.
    void RestoreBackup(const QString& file, bool withCounters, int undone = -1);

protected:
    void closeEvent(QCloseEvent* e) override;  // FormCloseQuery
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildControls();
    void ConnectHandlers();
    int SelectedIndex(const QComboBox* combo) const;
    // Typing into a connection list: the text the completion made of it chooses an item as
    // a click does; text that names none chooses nothing (and is put back on leaving).
    void ConnectionTyped(QComboBox* combo);
    void ConnectionLeft(QComboBox* combo);
    // A page change while the focused field refuses to be left is lost, as a click is.
    bool PageChangeRefused();
    void ShowPortPaths();
    QString PortText() const;  // "COM1 -> /dev/ttyUSB0"
    // After a writing action, however it ended: a completed write becomes the protocol buttons'
    // line; one that failed after it began is kept as unsure (the device may hold it).
    struct TAfterWrite {
        TForm1& form;
        ~TAfterWrite();
    };
    struct TUnsureWrite {
        int serial;  // the device's number before the write
        TDeviceSession::THeld held;
        TImageBuffer before, intended;
    };
    std::optional<TUnsureWrite> unsure_;
    TJournalLine lastWrite_;
    // The device the page shows, from the read (or the write) that filled it; none while the page
    // is only typed. An initialization refuses another device on the line.
    std::optional<TLookedDevice> looked_;
    // The models the devices named in this run, by factory number: the RTC and counter actions
    // do not ask (their exchanges stay as they were), their records name it all the same.
    QHash<int, uint8_t> knownModels_;
    void Looked(const TActionResult& r);
    // With a team's server: after a read, whether another PC wrote this device after this PC last
    // did; told before the next write, once.
    TOtherWriteCheck otherWrite_{this};

    bool ctrlAlone_ = false;  // Ctrl is down and no other key or click came since
    QList<QComboBox*> typedPending_;  // typed into, not looked at yet
    [[noreturn]] void FieldError(QWidget* field, const QString& message);

    TQtDeviceUi ui_;
    TImageBuffer image_;
    std::unique_ptr<TDeviceActions> actions_;  // the port, the exchange, the records
    TDeviceSettings settings_{image_};
    TChannelTable cdsChannels{image_};

    // Controls, each with its object name (tests and the automation hook find them so)
    QGroupBox* GroupConnection;
    QLabel* LabelPort;
    QComboBox* Com_Port_Name;
    QLabel* LabelSpeed;
    QComboBox* Com_Port_Speed;
    QPushButton* Button_Exit;
    QToolButton* Button_Fixed;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet3;
    QLabel* LabelVersion;
    QComboBox* Device_Version;
    QLabel* LabelNumber;
    TMaskEdit* Number;
    QLabel* LabelAddress;
    TMaskEdit* Address;
    QGroupBox* GroupChannels;
    TChannelGrid* DBGrid1;
    TChannelsModel* dsChannels;
    QCheckBox* CheckBox1;
    QGroupBox* GroupLastInit;
    QLabel* LabelDate;
    QLineEdit* Device_Date;
    QLabel* LabelTime;
    QLineEdit* Device_Time;
    QPushButton* Button_Read_Ini;
    QPushButton* Button_Init;
    QPushButton* Button_Deinit;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;  // "Журнал"
    QPushButton* BitBtn4;  // "Протокол", beside "Журнал"
    QPushButton* Button_Protocol;  // "Протокол" on the initialization page

    TClockVerifyForm* ClockVerifyForm = nullptr;
    TRTCCorrectionForm* RTCCorrectionForm = nullptr;
    TCountersForm* CountersForm = nullptr;
    TJournalForm* JournalForm = nullptr;
    TProtocolForm* ProtocolForm = nullptr;
};

// The conversion error of a text that is not an integer.
[[noreturn]] void RaiseConvertError(const QString& text);
int StrToInt(const QString& text);
