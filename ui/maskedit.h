// A QLineEdit that edits by our mask class: digits only in digit positions, overwrite
// editing, the blank character while focused, Esc to undo the changes of this visit.
#pragma once

#include <QLineEdit>

#include "editmask.h"

class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget* parent = nullptr);

    void SetEditMask(const std::string& mask);  // keeps the value where it fits
    const TEditMask& EditMask() const { return mask_; }
    bool HasMask() const { return !mask_.Empty(); }

    // The field's value (blanks as spaces; literals only when they belong to the value).
    QString Value() const;
    void SetValue(const QString& value);
    bool IsComplete() const;
    bool Modified() const { return modified_; }

    static QString InvalidValueText();

signals:
    // The focus left the field and the field's own check passed.
    void Exited();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
#ifndef QT_NO_CLIPBOARD
    void insertFromClipboard();
#endif

private:
    void Show();
    void TypeDigit(char c);
    int NextDigitSlot(int from) const;
    int PrevDigitSlot(int from) const;

    TEditMask mask_;
    std::string display_;     // one character per slot, blank character when empty
    std::string entryValue_;  // the value when the focus came in
    bool modified_ = false;
    bool validating_ = false;
};
