#include "channels.h"

#include "settings.h"

#include "abort.h"

#include <cctype>
#include <tuple>

const char* const TicksTexts[4] = {"0,01 м3/имп", "0,1 м3/имп", "1 м3/имп", "---"};
const char* const TicksTextsFast[4] = {"0,001 м3/имп", "0,01 м3/имп", "0,1 м3/имп", "---"};
// "OK" Latin in the first two, "ОК" Cyrillic in the third.
const char* const TypeInSigTexts[4] = {"Импульсный OK (>50 мс) / \"Сухой контакт\"", "Импульсный OK (1-5 мс)",
                                       "Частотный ОК (1-5 мс)", "---"};
const char* const LineTestTexts[2] = {"Есть", "Нет"};

bool FillingChannels = false;

TChannelTable::TChannelTable(TImageBuffer& image) : image_(image)
{
    columns_[colChannel].ReadOnly = true;
    columns_[colCenaDiv].PickList = {TicksTexts[0], TicksTexts[1], TicksTexts[2]};
    columns_[colLineTest].ReadOnly = true;
    columns_[colLineTest].PickList = {LineTestTexts[0], LineTestTexts[1]};
    columns_[colTypeInSig].PickList = {TypeInSigTexts[0], TypeInSigTexts[1], TypeInSigTexts[2]};
}

void TChannelTable::SetCurrent(int r)
{
    if (r >= 0 && r < RowCount())
        current_ = r;
}

void TChannelTable::Recreate()
{
    rows_.clear();
    current_ = 0;
    Changed();
}

void TChannelTable::Insert(int at)
{
    // No rows come or go after start.
    if (!FillingChannels)
        throw EAbort();
    rows_.insert(rows_.begin() + at, TChannelRow{});
    Changed();
}

void TChannelTable::Delete(int r)
{
    if (!FillingChannels)
        throw EAbort();
    rows_.erase(rows_.begin() + r);
    Changed();
}

void TChannelTable::Append(const TChannelRow& row)
{
    Insert(RowCount());
    const int r = RowCount() - 1;
    // Fields in their order; the type last, so that its rules run for the new row.
    rows_[r].Channel_Number = row.Channel_Number;
    rows_[r].Cena_Div = row.Cena_Div;
    rows_[r].Line_Test = row.Line_Test;
    SetTypeInSig(r, row.Type_InSig);
}

void TChannelTable::AppendStartRows()
{
    rows_.clear();
    FillingChannels = true;
    try {
        Append({1, 0, false, 0});
        Append({2, 0, false, 0});
    } catch (...) {
        FillingChannels = false;
        throw;
    }
    current_ = 0;
    FillingChannels = false;
    Changed();
}

std::string TChannelTable::GetText(int r, int col) const
{
    const TChannelRow& row = rows_.at(r);
    switch (col) {
    case colChannel: return std::to_string(row.Channel_Number);
    case colCenaDiv: {
        const int c = row.Cena_Div & 3;
        return row.Type_InSig == 0 ? TicksTexts[c] : TicksTextsFast[c];
    }
    case colLineTest: return LineTestTexts[row.Line_Test ? 1 : 0];
    case colTypeInSig: return TypeInSigTexts[row.Type_InSig & 3];
    }
    return {};
}

void TChannelTable::SetText(int r, int col, const std::string& text)
{
    TChannelRow& row = rows_.at(r);
    switch (col) {
    case colCenaDiv: {
        const char* const* table = row.Type_InSig == 0 ? TicksTexts : TicksTextsFast;
        for (int i = 0; i < 4; ++i)
            if (text == table[i]) {
                SetCenaDiv(r, i);
                return;
            }
        return;  // no match: nothing changes, nothing said
    }
    case colLineTest: SetLineTest(r, text == LineTestTexts[1]); return;
    case colTypeInSig:
        for (int i = 0; i < 4; ++i)
            if (text == TypeInSigTexts[i]) {
                SetTypeInSig(r, i);
                return;
            }
        return;
    default: return;
    }
}

void TChannelTable::SetTypeInSig(int r, int v)
{
    rows_.at(r).Type_InSig = v;
    TypeChange(r);  // after every assignment, also of the same value
    Changed();
}

void TChannelTable::TypeChange(int r)
{
    const uint8_t model = image_.ModelCode();
    const int n = model == 0xF0 ? 2 : (model >= 0xF1 && model <= 0xF3) ? 3 : 0;
    TChannelRow& row = rows_[r];
    auto& picks = columns_[colCenaDiv].PickList;
    const char* const* table = row.Type_InSig == 0 ? TicksTexts : TicksTextsFast;
    for (int i = 0; i < n && i < static_cast<int>(picks.size()); ++i)
        picks[i] = table[i];
    if (row.Type_InSig == 0) {
        row.Line_Test = true;
        columns_[colLineTest].ReadOnly = true;
        columns_[colCenaDiv].ReadOnly = false;
        row.Cena_Div = 0;
    } else {
        row.Line_Test = false;
        columns_[colLineTest].ReadOnly = false;
        if (row.Type_InSig == 2) {
            row.Cena_Div = 3;
            columns_[colCenaDiv].ReadOnly = true;
        } else {
            row.Cena_Div = 0;
            columns_[colCenaDiv].ReadOnly = false;
        }
    }
}

void TChannelTable::CellClick(int r)
{
    SetCurrent(r);
    const TChannelRow& row = rows_.at(current_);
    columns_[colCenaDiv].ReadOnly = row.Type_InSig == 2;
    const char* const* table = row.Type_InSig == 0 ? TicksTexts : TicksTextsFast;
    auto& picks = columns_[colCenaDiv].PickList;
    for (int i = 0; i < 3 && i < static_cast<int>(picks.size()); ++i)
        picks[i] = table[i];
    columns_[colLineTest].ReadOnly = row.Type_InSig == 0;
    Changed();
}

void TChannelTable::ModelChange(int modelIndex)
{
    // Both rows back to type 0 while the model code still holds the previous model.
    for (int r = 0; r < RowCount(); ++r)
        SetTypeInSig(r, 0);
    current_ = RowCount() - 1;
    if (modelIndex == 0)
        ApplyModel1();
    else if (modelIndex == 1 || modelIndex == 2)
        ApplyModel23(modelIndex);
}

void TChannelTable::ApplyModel1()
{
    image_.ModelCode() = kModelZenda1;
    columns_[colTypeInSig].PickList = {TypeInSigTexts[0], TypeInSigTexts[1]};
    Changed();
}

void TChannelTable::ApplyModel23(int modelIndex)
{
    image_.ModelCode() = static_cast<uint8_t>(0xF0 + modelIndex);
    columns_[colTypeInSig].PickList = {TypeInSigTexts[0], TypeInSigTexts[1], TypeInSigTexts[2]};
    Changed();
}

void TChannelTable::LoadChannels()
{
    for (int r = 0; r < RowCount(); ++r) {
        const int c = rows_[r].Channel_Number;
        const TDeviceSettings settings(image_);
        const int t = settings.InputType(c);
        SetTypeInSig(r, t);
        rows_[r].Cena_Div = static_cast<int16_t>(t <= 1 ? settings.PulseValueCode(c) : 3);
        rows_[r].Line_Test = settings.LineTest(c);
    }
    // Channel 2 is current; the column settings are those its type left.
    current_ = RowCount() > 1 ? 1 : 0;
    Changed();
}

void TChannelTable::StoreChannels(const std::function<void(int row)>& noType)
{
    for (int r = 0; r < RowCount(); ++r) {
        const TChannelRow& row = rows_[r];
        const int c = row.Channel_Number;
        TDeviceSettings settings(image_);
        if (row.Cena_Div != 3)  // "---" leaves the device's code
            settings.SetPulseValueCode(c, row.Cena_Div);
        if (row.Type_InSig == 3) {
            current_ = r;
            noType(r);
            throw EAbort();  // the callback reports; the action ends here in any case
        }
        settings.SetLineTest(c, row.Line_Test);
        settings.SetInputType(c, row.Type_InSig);
    }
}

namespace {
// The checks behind ModelRefusals and WriteRefusals. held: the device's image as read in the same
// action, or null; a part of the image equal to it is what the device holds already.
std::vector<std::string> Refusals(const TImageBuffer& image, const TImageBuffer* held, uint8_t modelCode,
                                  bool withCounters, bool typesAlways)
{
    TImageBuffer copy = image, was = held ? *held : image;
    const TDeviceSettings s(copy), h(was);
    auto changed = [&](auto get) { return !held || get(s) != get(h); };
    std::vector<std::string> out;
    const int model = TDeviceSettings::ModelIndex(modelCode);
    for (int c : {1, 2}) {
        const bool channelChanged = changed([c](const TDeviceSettings& x) {
            return std::tuple(x.InputType(c), x.PulseValueCode(c), x.LineTest(c));
        });
        if (!channelChanged && !typesAlways)
            continue;
        if (model < 0 && !held)
            return {"тип прибора не известен"};
        if (model < 0)
            continue;  // a model that was not asked: its channel rules are not known
        const std::string ch = "канал " + std::to_string(c) + ", ";
        const int types = model == 0 ? 2 : 3;  // a frequency input on ZENDA2 and ZENDA3 only
        const int t = s.InputType(c);
        if (t >= types) {
            out.push_back(ch + "тип входного сигнала \"" + TypeInSigTexts[t] + "\" не из тех, что принимает ZENDA" +
                          std::to_string(model + 1));
            continue;
        }
        if (!channelChanged)
            continue;
        if (t <= 1 && s.PulseValueCode(c) > 2)
            out.push_back(ch + "цена входного импульса не из списка");
        if (t == 0 && !s.LineTest(c))  // a slow input has no line test: its flag is always set
            out.push_back(ch + "тест линии у входа \"" + std::string(TypeInSigTexts[0]) + "\" невозможен");
    }
    if (changed([](const TDeviceSettings& x) { return x.Address(); }) && s.Address() != 0 &&
        !range::Address(s.Address()))
        out.push_back("сетевой адрес " + std::to_string(s.Address()) + " вне 1..63");
    if (changed([](const TDeviceSettings& x) { return x.CorrectionByteValue(); }) && !range::Correction(s.Correction()))
        out.push_back("автокоррекция RTC " + std::to_string(s.Correction()) + " сек вне -25..25");
    if (withCounters)
        for (TCounter k : {TCounter::Tp1, TCounter::Tp2}) {
            const std::string text = s.CounterText(k);
            if (!changed([k](const TDeviceSettings& x) { return x.CounterText(k); }))
                continue;
            const size_t n = text.size();
            const bool digits = n >= 2 && std::isdigit(static_cast<unsigned char>(text[n - 2])) &&
                                std::isdigit(static_cast<unsigned char>(text[n - 1]));
            if (!digits || !range::Minutes((text[n - 2] - '0') * 10 + (text[n - 1] - '0')))
                out.push_back(std::string(k == TCounter::Tp1 ? "tp1" : "tp2") + ": минуты вне 0..59");
        }
    return out;
}
}  // namespace

std::vector<std::string> ModelRefusals(const TImageBuffer& image, uint8_t modelCode, bool withCounters)
{
    return Refusals(image, nullptr, modelCode, withCounters, true);
}

std::vector<std::string> WriteRefusals(const TImageBuffer& held, const TImageBuffer& image, uint8_t modelCode,
                                       bool typesAlways)
{
    return Refusals(image, &held, modelCode, true, typesAlways);
}
