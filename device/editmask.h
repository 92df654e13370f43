// Our edit-mask language, without any toolkit: "pattern;literals-in-value;blank".
// Pattern: "0" a required digit, "9" an optional digit, "!" at the start keeps the blanks
// of unfilled positions at the front, "\" makes the next character a literal, any other
// character is a literal. (Qt's own mask language swaps 0 and 9 and reads "!" otherwise.)
#pragma once

#include <string>
#include <vector>

class TEditMask {
public:
    enum class Kind { Required, Optional, Literal };
    struct Slot {
        Kind kind;
        char literal = 0;
    };

    TEditMask() = default;
    explicit TEditMask(const std::string& mask);

    bool Empty() const { return slots_.empty(); }
    const std::string& Text() const { return mask_; }
    const std::vector<Slot>& Slots() const { return slots_; }
    bool LiteralsInValue() const { return literalsInValue_; }
    char Blank() const { return blank_; }
    bool LeadingBlanks() const { return leadingBlanks_; }
    bool IsDigitSlot(size_t i) const { return i < slots_.size() && slots_[i].kind != Kind::Literal; }

    // Display text: one character per slot, the blank character in empty positions.
    std::string ValueToDisplay(const std::string& value) const;
    // The field's value: digits (blanks as spaces), literals only when they belong to it.
    std::string DisplayToValue(const std::string& display) const;
    // Every required position holds a digit.
    bool IsComplete(const std::string& display) const;
    // The display with every digit position empty.
    std::string EmptyDisplay() const;

private:
    std::string mask_;
    std::vector<Slot> slots_;
    bool literalsInValue_ = true;
    char blank_ = '_';
    bool leadingBlanks_ = false;
};
