#include "maskedit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QDialog>

#include "guard.h"

// Swallows the user's input until released: between a refused leave and its message, the
// click or key that moved the focus (and whatever came with it) must not act.
class TInputHold : public QObject {
public:
    explicit TInputHold(QObject* parent) : QObject(parent) {}
    void Engage()
    {
        if (!engaged_)
            qApp->installEventFilter(this);
        engaged_ = true;
    }
    void Release()
    {
        if (engaged_)
            qApp->removeEventFilter(this);
        engaged_ = false;
    }
    ~TInputHold() override { Release(); }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel: return true;
        default: return false;
        }
    }

private:
    bool engaged_ = false;
};

TMaskEdit::TMaskEdit(QWidget* parent) : QLineEdit(parent), hold_(new TInputHold(this)) {}

QString TMaskEdit::InvalidValueText()
{
    return QStringLiteral("Введено неправильное значение. Используйте клавишу [ESC] для отмены изменений.");
}

void TMaskEdit::SetEditMask(const std::string& mask)
{
    const QString old = Value();
    const bool hadMask = HasMask();
    mask_ = TEditMask(mask);
    if (hadMask || HasMask())
        SetValue(old);
}

QString TMaskEdit::Value() const
{
    if (!HasMask())
        return text();
    return QString::fromStdString(mask_.DisplayToValue(display_));
}

void TMaskEdit::SetValue(const QString& value)
{
    if (!HasMask()) {
        setText(value);
        return;
    }
    display_ = mask_.ValueToDisplay(value.toStdString());
    // A value set by the program is where Esc comes back to.
    entryValue_ = Value().toStdString();
    modified_ = false;
    Show();
}

bool TMaskEdit::IsComplete() const { return !HasMask() || mask_.IsComplete(display_); }

void TMaskEdit::Show()
{
    std::string shown = display_;
    if (!hasFocus())  // the blank character marks empty positions only while editing
        for (size_t i = 0; i < shown.size(); ++i)
            if (mask_.IsDigitSlot(i) && shown[i] == mask_.Blank())
                shown[i] = ' ';
    const int pos = cursorPosition();
    const int selStart = selectionStart();
    const int selLength = static_cast<int>(selectedText().size());
    setText(QString::fromStdString(shown));
    if (selStart >= 0 && selLength > 0)
        setSelection(selStart, selLength);
    else
        setCursorPosition(pos);
}

void TMaskEdit::ClearSlots(int from, int to)
{
    for (int i = from; i < to && i < static_cast<int>(display_.size()); ++i)
        if (mask_.IsDigitSlot(i))
            display_[i] = mask_.Blank();
}

int TMaskEdit::NextDigitSlot(int from) const
{
    for (int i = from; i < static_cast<int>(display_.size()); ++i)
        if (mask_.IsDigitSlot(i))
            return i;
    return -1;
}

int TMaskEdit::PrevDigitSlot(int from) const
{
    for (int i = from; i >= 0; --i)
        if (mask_.IsDigitSlot(i))
            return i;
    return -1;
}

void TMaskEdit::TypeDigit(char c)
{
    int at = cursorPosition();
    if (hasSelectedText()) {
        // Typing replaces the selection: its digit positions are emptied, the digit goes
        // into the first of them.
        at = selectionStart();
        const int end = at + static_cast<int>(selectedText().size());
        if (NextDigitSlot(at) < 0 || NextDigitSlot(at) >= end) {
            QApplication::beep();
            return;
        }
        ClearSlots(at, end);
        deselect();
    }
    const int slot = NextDigitSlot(at);
    if (slot < 0) {
        QApplication::beep();
        return;
    }
    display_[slot] = c;
    modified_ = true;
    const int next = NextDigitSlot(slot + 1);
    Show();
    setCursorPosition(next < 0 ? slot + 1 : next);
}

void TMaskEdit::keyPressEvent(QKeyEvent* e)
{
    if (!HasMask()) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        if (modified_) {  // undo this visit's changes; an unchanged field lets Esc through
            SetValue(QString::fromStdString(entryValue_));
            selectAll();
            return;
        }
        e->ignore();
        return;
    }
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && qobject_cast<QDialog*>(window()) && Refuses()) {
        // Enter would press the dialog's default button with a value that leaving refuses.
        ShowRefusal();
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        insertFromClipboard();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        CutSelection();
        return;
    }
    // The line edit's other editing shortcuts would change its text behind the mask's back.
    for (const auto k : {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::DeleteEndOfLine,
                         QKeySequence::DeleteCompleteLine})
        if (e->matches(k))
            return;
    if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) {
        if (isReadOnly())
            return;
        int from, to;
        if (hasSelectedText()) {
            from = selectionStart();
            to = from + static_cast<int>(selectedText().size());
        } else if (e->key() == Qt::Key_Backspace) {
            const int s = PrevDigitSlot(cursorPosition() - 1);
            if (s < 0)
                return;
            from = s;
            to = s + 1;
        } else {
            const int s = NextDigitSlot(cursorPosition());
            if (s < 0)
                return;
            from = s;
            to = s + 1;
        }
        deselect();
        ClearSlots(from, to);
        modified_ = true;
        Show();
        setCursorPosition(from);
        return;
    }
    const QString t = e->text();
    if (!t.isEmpty() && t[0].isPrint() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (isReadOnly())
            return;
        if (t[0] >= u'0' && t[0] <= u'9')
            TypeDigit(static_cast<char>(t[0].unicode()));
        else
            QApplication::beep();  // only digits go in digit positions
        return;
    }
    // Navigation, selection, Tab, Enter: the line edit's own handling.
    QLineEdit::keyPressEvent(e);
}

void TMaskEdit::CutSelection()
{
    if (!hasSelectedText())
        return;
    copy();
    if (isReadOnly())
        return;
    const int from = selectionStart();
    const int to = from + static_cast<int>(selectedText().size());
    deselect();
    ClearSlots(from, to);
    modified_ = true;
    Show();
    setCursorPosition(from);
}

void TMaskEdit::insertFromClipboard()
{
    for (const QChar c : QApplication::clipboard()->text())
        if (c >= u'0' && c <= u'9')
            TypeDigit(static_cast<char>(c.unicode()));
}

void TMaskEdit::inputMethodEvent(QInputMethodEvent* e)
{
    if (!HasMask()) {
        QLineEdit::inputMethodEvent(e);
        return;
    }
    for (const QChar c : e->commitString())
        if (c >= u'0' && c <= u'9')
            TypeDigit(static_cast<char>(c.unicode()));
}

bool TMaskEdit::Refuses() const { return (modified_ && !IsComplete()) || (exitCheck_ && !exitCheck_()); }

void TMaskEdit::ShowRefusal()
{
    if (modified_ && !IsComplete()) {
        // The mask's own refusal: beep, say so, take the focus back.
        QApplication::beep();
        ShowTopLevelError(InvalidValueText());
        setFocus(Qt::OtherFocusReason);
    } else {
        emit Exited();  // the exit handler says why and takes the focus back
    }
}

void TMaskEdit::focusInEvent(QFocusEvent* e)
{
    if (!inVisit_) {
        inVisit_ = true;
        entryValue_ = Value().toStdString();
        modified_ = false;
    }
    // Show the blanks before the line edit's own handling, which selects the whole text
    // when the field is entered by Tab or its accelerator.
    if (HasMask())
        Show();
    QLineEdit::focusInEvent(e);
}

void TMaskEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    if (HasMask())
        Show();
    if (e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason)
        return;  // the window lost focus, or a menu opened: the field was not left
    if (!Refuses()) {
        inVisit_ = false;
        modified_ = false;
        emit Exited();
        return;
    }
    // Refused. The decision is made now, while the click or key that moved the focus has
    // not acted yet; that input is held back and lost. The message comes one event turn
    // later: a modal box inside a focus change would leave the focus in two places.
    RefuseLater();
}

bool TMaskEdit::RefuseLeaving()
{
    if (!HasMask() || !Refuses())
        return false;
    RefuseLater();
    return true;
}

void TMaskEdit::RefuseLater()
{
    hold_->Engage();
    QMetaObject::invokeMethod(
        this,
        [this] {
            hold_->Release();
            ShowRefusal();
            if (window()->focusWidget() != this)
                inVisit_ = false;  // the check let it go after all
        },
        Qt::QueuedConnection);
}
