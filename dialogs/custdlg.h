// A message box that lays itself out: optional icon, wrapped message, a centred row of buttons.
#pragma once

#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <vector>

class QPushButton;

enum class DialogType : uint8_t { Warning = 0, Error = 1, Information = 2, Confirmation = 3, Plain = 4 };

// The toolkit's colour values: 0xFF in the top byte marks a system colour.
constexpr uint32_t NoColor = 0x1FFFFFFF;
constexpr uint32_t clBtnFace = 0xFF00000F;
constexpr uint32_t clWindowText = 0xFF000008;

// The buttons descriptor: a loosely typed value that may or may not hold an array, and
// whose array may start at an index other than 0.
struct ButtonsDescriptor {
    static ButtonsDescriptor Array(QVariantList elements, int lowBound = 0)
    {
        return {true, lowBound, std::move(elements), {}};
    }
    static ButtonsDescriptor Scalar(QVariant value) { return {false, 0, {}, std::move(value)}; }

    bool IsArray = false;
    int LowBound = 0;
    QVariantList Elements;
    QVariant Value;
};

// Rounds halves away from zero, as the platform's MulDiv does.
int MulDiv(int a, int b, int c);

// Arial 10 pt in the window-text colour, one object for the process.
const QFont& DefaultDlgFont();
QColor DefaultDlgFontColor();

// A label that draws its text with the same flags the layout measured it with.
class TMessageLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override;
};

class TMessageForm : public QDialog {
public:
    explicit TMessageForm(QWidget* owner = nullptr);

    std::vector<QPushButton*> Buttons;
    QPushButton* DefaultBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void reject() override;  // a close by the platform
    void showEvent(QShowEvent* e) override;

private:
    bool HandleKey(QKeyEvent* e);
};

// EscapeButton: the button (0-based) that Esc presses, -1 for none (Esc then closes no box but
// one with the added "Отмена").
int CustomDlg(DialogType DlgType, const QString& Msg, const QString& Caption, const ButtonsDescriptor& Buttons,
              int DefaultButton, bool AddCancel, uint32_t Color, const QFont* Font, int EscapeButton = -1);
// Buttons: every element must be a string.
int MessageDlgEx(DialogType DlgType, const QString& Msg, const QString& Caption, const QVariantList& Buttons,
                 int DefaultButton, uint32_t Color, const QFont* Font, int EscapeButton = -1);

// Hides the wait cursor while a box is on screen and brings it back afterwards.
class TCursorSuspend {
public:
    TCursorSuspend();
    ~TCursorSuspend();
    TCursorSuspend(const TCursorSuspend&) = delete;
    TCursorSuspend& operator=(const TCursorSuspend&) = delete;

private:
    std::vector<QCursor> saved_;
};
