#include "maskedit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTimer>

#include "guard.h"

TMaskEdit::TMaskEdit(QWidget* parent) : QLineEdit(parent) {}

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
    setText(QString::fromStdString(shown));
    setCursorPosition(pos);
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
    int at = hasSelectedText() ? selectionStart() : cursorPosition();
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
            modified_ = false;
            selectAll();
            return;
        }
        e->ignore();
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        insertFromClipboard();
        return;
    }
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
        for (int i = from; i < to && i < static_cast<int>(display_.size()); ++i)
            if (mask_.IsDigitSlot(i))
                display_[i] = mask_.Blank();
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

void TMaskEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (validating_)
        return;  // back after a refused exit: the visit goes on
    entryValue_ = Value().toStdString();
    modified_ = false;
    if (HasMask())
        Show();
}

void TMaskEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    if (HasMask())
        Show();
    if (validating_ || e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason)
        return;  // the window lost focus, or a menu opened: the field was not left
    if (modified_ && !IsComplete()) {
        // The field refuses to be left: beep, say so, take the focus back.
        validating_ = true;
        QTimer::singleShot(0, this, [this] {
            QApplication::beep();
            ShowTopLevelError(InvalidValueText());
            setFocus(Qt::OtherFocusReason);
            validating_ = false;
        });
        return;
    }
    modified_ = false;
    QTimer::singleShot(0, this, [this] { emit Exited(); });
}
