// The main window: connection settings, the "Инициализация" and "Сервис" pages, and every
// user action on the device.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWidget>

#include <memory>

#include "channels.h"
#include "cport.h"
#include "exchange.h"
#include "guard.h"
#include "image.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QTabWidget;
class QToolButton;
class TMaskEdit;
class TClockVerifyForm;
class TRTCCorrectionForm;
class TCountersForm;

// The per-user settings store: the registry key on Windows, a file under
// $XDG_CONFIG_HOME on Linux.
std::unique_ptr<QSettings> OpenSettings();
// "COMn" -> the path in Ports/COMn when the store has one, else the system's default.
void InstallSettingsPortResolver();

// The channel table as the grid sees it.
class TChannelsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TChannelsModel(TChannelTable& table, QObject* parent = nullptr);
    int rowCount(const QModelIndex& = QModelIndex()) const override;
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 4; }
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    void Refresh();

    TChannelTable& Table;

private:
    int shownRows_ = 0;
};

// A column's pick list as an editable combo box; a choice is written at once.
class TPickListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TPickListDelegate(TChannelTable& table, QObject* parent) : QStyledItemDelegate(parent), table_(table) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

private:
    TChannelTable& table_;
};

class TChannelGrid : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    std::function<void()> OnInsert;  // gestures that would add or remove a row
    std::function<void()> OnDelete;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

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
    void ValidateDeviceNumber();
    void ValidateDeviceAddress();
    bool NumberAccepted() const;
    bool AddressAccepted() const;
    void LoadChannels();
    void StoreChannels();
    void ApplyModel1();
    void ApplyModel23();

    // The device operations on this window's port.
    void DoCommand(uint8_t Code, const uint8_t* SendBuffer, uint8_t* ReceiveBuffer);
    uint8_t ReadDeviceVersion();
    void ReadDataFromDevice(uint8_t* Image);
    void SendInitData(const uint8_t* Image);
    void LeaveInitMode();

    // State owned by the window
    TComPort* Port = nullptr;
    TImageBuffer Image;
    TChannelTable cdsChannels{Image};

    // Controls
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

    TClockVerifyForm* ClockVerifyForm = nullptr;
    TRTCCorrectionForm* RTCCorrectionForm = nullptr;
    TCountersForm* CountersForm = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;  // FormCloseQuery
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildControls();
    void ConnectHandlers();
    int SelectedIndex(const QComboBox* combo) const;
    [[noreturn]] void FieldError(QWidget* field, const QString& message);

    TQtDeviceUi ui_;
    std::unique_ptr<TDeviceExchange> exchange_;
};

// The conversion error of a text that is not an integer.
[[noreturn]] void RaiseConvertError(const QString& text);
int StrToInt(const QString& text);
