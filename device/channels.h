// The two-row channel table: each channel's pulse value, line test and input signal type,
// their texts, and the rules that tie them together. No toolkit here; the grid model in
// main.cpp shows it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image.h"

extern const char* const TicksTexts[4];
extern const char* const TicksTextsFast[4];
extern const char* const TypeInSigTexts[4];
extern const char* const LineTestTexts[2];  // indexed by the flag: false, true

// True only while the start-up appends the two rows.
extern bool FillingChannels;

enum TChannelColumn { colChannel = 0, colCenaDiv = 1, colLineTest = 2, colTypeInSig = 3 };

struct TChannelRow {
    int16_t Channel_Number = 0;
    int16_t Cena_Div = 0;
    bool Line_Test = false;
    int32_t Type_InSig = 0;
};

struct TColumnSettings {
    bool ReadOnly = false;
    std::vector<std::string> PickList;
};

class TChannelTable {
public:
    // The model code lives in the image buffer (byte 73).
    explicit TChannelTable(TImageBuffer& image);

    // Rows
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const TChannelRow& Row(int r) const { return rows_.at(r); }
    int Current() const { return current_; }
    void SetCurrent(int r);
    void Recreate();  // closed and created empty
    void AppendStartRows();
    void Append(const TChannelRow& row);
    void Insert(int at);
    void Delete(int r);

    // Display and entry conversions.
    std::string GetText(int r, int col) const;
    void SetText(int r, int col, const std::string& text);

    // Field assignments as program code makes them; Type_InSig runs the type-change rules.
    void SetCenaDiv(int r, int v)
    {
        rows_.at(r).Cena_Div = static_cast<int16_t>(v);
        Changed();
    }
    void SetLineTest(int r, bool v)
    {
        rows_.at(r).Line_Test = v;
        Changed();
    }
    void SetTypeInSig(int r, int v);

    TColumnSettings& Column(int col) { return columns_.at(col); }
    const TColumnSettings& Column(int col) const { return columns_.at(col); }

    void CellClick(int r);
    // Device_VersionChange: modelIndex is the model list's selection, -1 for none.
    void ModelChange(int modelIndex);
    void ApplyModel1();
    void ApplyModel23(int modelIndex);
    void LoadChannels();
    // Calls noType(row) for a channel without an input signal type (it must not return).
    void StoreChannels(const std::function<void(int row)>& noType);

    // Called after every change of rows or column settings (the view redraws).
    std::function<void()> OnChanged;

private:
    void TypeChange(int r);
    void Changed()
    {
        if (OnChanged)
            OnChanged();
    }

    TImageBuffer& image_;
    std::vector<TChannelRow> rows_;
    std::array<TColumnSettings, 4> columns_;
    int current_ = 0;
};

// What the connected model would refuse in an image about to be written to it (a restore):
// the channel table's type and pulse-value choices for that model and the ranges its fields
// keep; with the counters, their minutes. One line a refusal; none when it takes it all.
std::vector<std::string> ModelRefusals(const TImageBuffer& image, uint8_t modelCode, bool withCounters);

// The one rule for every write: what the connected model would refuse in the image about to be
// written over held (the device's image as read in the same action). A value that differs from
// what the device holds must be one the model takes; what it holds and nobody changed may go
// back as it was (an empty address stays 0, a dry contact keeps the flag a blank memory holds).
// typesAlways: each channel's input type is checked even unchanged (an initialization sets the
// channels up: it never leaves an input the model cannot take). A model code of no model (not
// asked) skips the channel rules, which depend on it.
std::vector<std::string> WriteRefusals(const TImageBuffer& held, const TImageBuffer& image, uint8_t modelCode,
                                       bool typesAlways);
