#include "editmask.h"

TEditMask::TEditMask(const std::string& mask) : mask_(mask)
{
    if (mask.empty())
        return;
    // Split on the last two unescaped ";".
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == '\\' && i + 1 < mask.size()) {
            fields.back() += mask[i];
            fields.back() += mask[++i];
        } else if (mask[i] == ';') {
            fields.emplace_back();
        } else {
            fields.back() += mask[i];
        }
    }
    const std::string& pattern = fields[0];
    if (fields.size() > 1 && !fields[1].empty())
        literalsInValue_ = fields[1][0] != '0';
    if (fields.size() > 2 && !fields[2].empty())
        blank_ = fields[2][0];
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '!' && slots_.empty() && !leadingBlanks_) {
            leadingBlanks_ = true;
        } else if (c == '\\' && i + 1 < pattern.size()) {
            slots_.push_back({Kind::Literal, pattern[++i]});
        } else if (c == '0') {
            slots_.push_back({Kind::Required});
        } else if (c == '9') {
            slots_.push_back({Kind::Optional});
        } else {
            slots_.push_back({Kind::Literal, c});
        }
    }
}

std::string TEditMask::EmptyDisplay() const
{
    std::string s;
    for (const auto& sl : slots_)
        s += sl.kind == Kind::Literal ? sl.literal : blank_;
    return s;
}

std::string TEditMask::ValueToDisplay(const std::string& value) const
{
    // The characters meant for digit positions, in order.
    std::string chars;
    size_t vi = 0;
    for (const auto& sl : slots_) {
        if (vi >= value.size())
            break;
        if (sl.kind == Kind::Literal) {
            if (literalsInValue_)
                ++vi;  // the value carries the literal in its place
            continue;
        }
        chars += value[vi++];
    }
    size_t digitSlots = 0;
    for (const auto& sl : slots_)
        digitSlots += sl.kind != Kind::Literal;
    if (chars.size() < digitSlots && leadingBlanks_)
        chars.insert(0, digitSlots - chars.size(), ' ');
    std::string out;
    size_t ci = 0;
    for (const auto& sl : slots_) {
        if (sl.kind == Kind::Literal) {
            out += sl.literal;
            continue;
        }
        const char c = ci < chars.size() ? chars[ci] : ' ';
        ++ci;
        out += (c >= '0' && c <= '9') ? c : blank_;
    }
    return out;
}

std::string TEditMask::DisplayToValue(const std::string& display) const
{
    std::string v;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const char c = i < display.size() ? display[i] : blank_;
        if (slots_[i].kind == Kind::Literal) {
            if (literalsInValue_)
                v += slots_[i].literal;
        } else {
            v += (c >= '0' && c <= '9') ? c : ' ';
        }
    }
    return v;
}

bool TEditMask::IsComplete(const std::string& display) const
{
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].kind == Kind::Required && (i >= display.size() || display[i] < '0' || display[i] > '9'))
            return false;
    return true;
}
