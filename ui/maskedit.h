// A QLineEdit that edits by our mask class: digits only in digit positions, overwrite
// editing, the blank character while focused, Esc to undo the changes of this visit.
#pragma once

#include <QLineEdit>

#include <functional>

#include "editmask.h"

class TInputHold;

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

    // Whether the field's value may be left; asked the moment the focus leaves, so that a
    // refusal can stop the click that moved the focus. The refusal itself is shown by the
    // Exited handler, which must agree with this check.
    void SetExitCheck(std::function<bool()> check) { exitCheck_ = std::move(check); }
    // For a way of leaving that does not move the focus first (a page tab): when leaving is
    // refused, holds back the input that came with it, says why one event turn later, and
    // answers true; the caller drops its event.
    bool RefuseLeaving();
    // The value as the focus first entered the field (what Esc puts back).
    QString EntryValue() const { return QString::fromStdString(entryValue_); }

signals:
    // The focus left the field and its mask accepted the value: the exit handlers run.
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
    void ClearSlots(int from, int to);
    bool Refuses() const;
    void ShowRefusal();
    void RefuseLater();
    void CutSelection();
    int NextDigitSlot(int from) const;
    int PrevDigitSlot(int from) const;

    TEditMask mask_;
    std::string display_;     // one character per slot, blank character when empty
    std::string entryValue_;  // the value when the focus came in
    bool modified_ = false;
    // From the focus coming in until a leave is accepted: a refused leave, a message box
    // and the window's re-activation do not start a new visit.
    bool inVisit_ = false;
    std::function<bool()> exitCheck_;
    TInputHold* hold_ = nullptr;
};
