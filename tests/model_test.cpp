// The toolkit-free rules behind both faces: the mask language, the channel table, counters,
// what each model takes.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "abort.h"
#include "changes.h"
#include "channels.h"
#include "counters.h"
#include "editmask.h"
#include "settings.h"

// ------------------------------------------------------------------ mask class

TEST(EditMask, ParsesOurLanguageNotQts)
{
    struct Row {
        const char* mask;
        const char* value;
        const char* display;
        const char* back;
        bool complete;
    };
    const Row rows[] = {
        // "9" optional, "!" leading blanks, literals in value.
        {"!99999;1;_", "1    ", "1____", "1    ", true},
        {"!99999;1;_", "256", "__256", "  256", true},
        {"!99;1;_", "  ", "__", "  ", true},
        // "0" required, "\:" a literal that is not part of the value.
        {"00000\\:00;0;_", "1234530", "12345:30", "1234530", true},
        {"00000\\:00;0;_", "12", "12___:__", "12     ", false},
        {"000000,00;0;_", "12345678", "123456,78", "12345678", true},
        {"00000000;0;_", "00000000", "00000000", "00000000", true},
        // A blank character other than "_".
        {"0099;0;*", "1", "1***", "1   ", false},
    };
    for (const auto& r : rows) {
        const TEditMask m(r.mask);
        const std::string d = m.ValueToDisplay(r.value);
        EXPECT_EQ(d, r.display) << r.mask << " / " << r.value;
        EXPECT_EQ(m.DisplayToValue(d), r.back) << r.mask;
        EXPECT_EQ(m.IsComplete(d), r.complete) << r.mask << " / " << r.value;
    }
    const TEditMask time("00000\\:00;0;_");
    EXPECT_FALSE(time.LiteralsInValue());
    EXPECT_EQ(time.Slots().size(), 8u);
    EXPECT_FALSE(time.IsDigitSlot(5));
    EXPECT_TRUE(TEditMask("!99999;1;_").LeadingBlanks());
    EXPECT_TRUE(TEditMask("").Empty());
}

// ------------------------------------------------------------------ channel table

class Channels : public ::testing::Test {
protected:
    void SetUp() override
    {
        t.ApplyModel1();
        t.Recreate();
        t.AppendStartRows();
    }
    std::vector<std::string> Row(int r) { return {t.GetText(r, 1), t.GetText(r, 2), t.GetText(r, 3)}; }
    TImageBuffer img;
    TChannelTable t{img};
};

const std::string kType0 = "Импульсный OK (>50 мс) / \"Сухой контакт\"";
const std::string kType1 = "Импульсный OK (1-5 мс)";
const std::string kType2 = "Частотный \u041e\u041a (1-5 мс)";  // Cyrillic О and К

TEST_F(Channels, StartState)
{
    ASSERT_EQ(t.RowCount(), 2);
    for (int r = 0; r < 2; ++r)
        EXPECT_EQ(Row(r), (std::vector<std::string>{"0,01 м3/имп", "Нет", kType0}));
    EXPECT_TRUE(t.Column(colLineTest).ReadOnly);
    EXPECT_FALSE(t.Column(colCenaDiv).ReadOnly);
    EXPECT_EQ(t.Column(colTypeInSig).PickList.size(), 2u);
    EXPECT_EQ(img.ModelCode(), 0xF0);
    // Rows neither come nor go.
    EXPECT_THROW(t.Insert(2), EAbort);
    EXPECT_THROW(t.Delete(0), EAbort);
    EXPECT_EQ(t.RowCount(), 2);
}

TEST_F(Channels, LoadFromImage)
{
    img.At(6) = 0x09;
    img.At(10) = 0x24;
    t.LoadChannels();
    EXPECT_EQ(Row(0), (std::vector<std::string>{"0,1 м3/имп", "Нет", kType0}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"0,1 м3/имп", "Есть", kType1}));
    EXPECT_EQ(t.Current(), 1);

    // Type 2: "---" whatever the pulse bits hold; type 3: "---" in both; clear line-test bit.
    img.At(6) = 0x0F;
    img.At(10) = 0x0E;
    t.LoadChannels();
    EXPECT_EQ(Row(0), (std::vector<std::string>{"---", "Есть", kType2}));
    EXPECT_EQ(Row(1), (std::vector<std::string>{"---", "Есть", "---"}));
    EXPECT_TRUE(t.Column(colCenaDiv).ReadOnly == false);  // channel 2's type (3) left it editable

    img.At(6) = 0x03;  // type 0, pulse bits 3
    img.At(10) = 0x00;
    t.LoadChannels();
    EXPECT_EQ(Row(0), (std::vector<std::string>{"---", "Есть", kType0}));
}

TEST_F(Channels, TypeChangeRulesAndEntryConversions)
{
    t.SetText(0, colTypeInSig, kType2);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"---", "Есть", kType2}));
    EXPECT_TRUE(t.Column(colCenaDiv).ReadOnly);
    EXPECT_FALSE(t.Column(colLineTest).ReadOnly);
    t.SetText(0, colTypeInSig, kType0);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"0,01 м3/имп", "Нет", kType0}));
    EXPECT_TRUE(t.Column(colLineTest).ReadOnly);

    t.SetText(1, colTypeInSig, kType1);
    t.SetText(1, colLineTest, "нет");  // case-sensitive: anything but "Нет" is false
    EXPECT_EQ(t.GetText(1, colLineTest), "Есть");
    t.SetText(1, colCenaDiv, "1 м3/имп");  // not in the fast table: nothing changes
    EXPECT_EQ(t.Row(1).Cena_Div, 0);
    t.SetText(1, colCenaDiv, "---");
    EXPECT_EQ(t.Row(1).Cena_Div, 3);
    t.SetText(1, colTypeInSig, "Импульсный ok (1-5 мс)");  // no match, no change
    EXPECT_EQ(t.Row(1).Type_InSig, 1);
}

TEST_F(Channels, PickListEntriesBeyondNKeepTheirText)
{
    t.SetTypeInSig(0, 1);  // model code 0xF0: only two entries replaced
    EXPECT_EQ(t.Column(colCenaDiv).PickList, (std::vector<std::string>{"0,001 м3/имп", "0,01 м3/имп", "1 м3/имп"}));
    t.CellClick(0);
    EXPECT_EQ(t.Column(colCenaDiv).PickList, (std::vector<std::string>{"0,001 м3/имп", "0,01 м3/имп", "0,1 м3/имп"}));
}

TEST_F(Channels, ModelChanges)
{
    t.ModelChange(2);  // ZENDA3
    EXPECT_EQ(img.ModelCode(), 0xF2);
    EXPECT_EQ(t.Column(colTypeInSig).PickList.size(), 3u);
    t.SetTypeInSig(0, 2);
    t.SetTypeInSig(1, 1);
    t.ModelChange(0);  // back to ZENDA1: both rows reset to type 0
    EXPECT_EQ(img.ModelCode(), 0xF0);
    EXPECT_EQ(t.Column(colTypeInSig).PickList.size(), 2u);
    for (int r = 0; r < 2; ++r)
        EXPECT_EQ(Row(r), (std::vector<std::string>{"0,01 м3/имп", "Нет", kType0}));
    // A typed model that matches nothing: rows reset, model code and types unchanged.
    t.ModelChange(1);
    t.SetTypeInSig(0, 1);
    t.ModelChange(-1);
    EXPECT_EQ(img.ModelCode(), 0xF1);
    EXPECT_EQ(t.Column(colTypeInSig).PickList.size(), 3u);
    EXPECT_EQ(t.Row(0).Type_InSig, 0);
}

TEST_F(Channels, StoreIntoImage)
{
    img.At(6) = 0xFF;
    img.At(10) = 0x90;
    t.SetTypeInSig(0, 0);
    t.SetCenaDiv(0, 1);
    t.SetLineTest(0, true);
    t.SetTypeInSig(1, 1);
    t.SetCenaDiv(1, 2);
    t.SetLineTest(1, false);
    t.StoreChannels([](int) { FAIL(); });
    EXPECT_EQ(img.At(6), 0xF9);
    EXPECT_EQ(img.At(10), 0xB4);

    // "---" pulse value leaves the device's bits; no type stops at that channel.
    img.At(6) = 0x0C;
    t.SetCenaDiv(1, 3);
    t.SetTypeInSig(0, 3);
    t.SetTypeInSig(1, 3);
    int reported = -1;
    EXPECT_THROW(t.StoreChannels([&](int r) { reported = r; }), EAbort);
    EXPECT_EQ(reported, 0);
}

TEST_F(Channels, DashPulseValueLeavesPosition6AsTheDeviceHasIt)
{
    t.SetTypeInSig(0, 1);
    t.SetCenaDiv(0, 3);
    t.SetTypeInSig(1, 0);
    t.SetCenaDiv(1, 3);
    for (uint8_t device : {0x00, 0x06, 0xA5, 0xFF}) {
        img.At(6) = device;
        t.StoreChannels([](int) { FAIL(); });
        EXPECT_EQ(img.At(6), device) << int(device);
    }
}

// ------------------------------------------------------------------ counters

TEST(Counters, MasksByTypeAndPulseValue)
{
    TImageBuffer b;
    struct Row {
        uint8_t p6, p10;
        const char* ch1;
        const char* ch2;
    };
    const Row rows[] = {
        {0x00, 0x00, "000000,00;0;_", "000000,00;0;_"},
        {0x06, 0x04, "00000000;0;_", "000000,00;0;_"},   // type 0 code 2 / type 1 code 1
        {0x02, 0x01, "0000000,0;0;_", "000000,00;0;_"},  // type 1 code 2 / type 0 code 0
        {0x00, 0x09, "00000,000;0;_", "00000,000;0;_"},
        {0x03, 0x0C, "", ""},
    };
    for (const auto& r : rows) {
        b.At(6) = r.p6;
        b.At(10) = r.p10;
        EXPECT_EQ(GetCounterMask(b, 1), r.ch1);
        EXPECT_EQ(GetCounterMask(b, 2), r.ch2);
    }
}

TEST(Counters, DigitsRoundTrip)
{
    TImageBuffer b;
    const uint8_t tp[4] = {0x30, 0x45, 0x23, 0x01};
    std::copy(tp, tp + 4, &b.At(12));
    EXPECT_EQ(CounterDigits(b, 12, 4, true), "1234530");
    StoreCounterDigits(b, 12, 4, "1234530");
    EXPECT_EQ(std::vector<uint8_t>(&b.At(12), &b.At(12) + 4), std::vector<uint8_t>(tp, tp + 4));

    const uint8_t hidden[4] = {0x00, 0x00, 0x00, 0x91};
    std::copy(hidden, hidden + 4, &b.At(12));
    EXPECT_EQ(CounterDigits(b, 12, 4, true), "1000000");
    StoreCounterDigits(b, 12, 4, "1000000");
    EXPECT_EQ(b.At(15), 0x01);  // the hidden digit goes back as 0

    const uint8_t v[4] = {0x78, 0x56, 0x34, 0x12};
    std::copy(v, v + 4, &b.At(20));
    EXPECT_EQ(CounterDigits(b, 20, 4, false), "12345678");
    StoreCounterDigits(b, 20, 4, "12345678");
    EXPECT_EQ(std::vector<uint8_t>(&b.At(20), &b.At(20) + 4), std::vector<uint8_t>(v, v + 4));
    EXPECT_EQ(DigitPairToByte('4', '7'), 0x47);

    // A short value never reads outside the text.
    StoreCounterDigits(b, 24, 4, "12");
    EXPECT_EQ(b.At(24), 0x12);
    EXPECT_EQ(b.At(27), 0x00);
    b.At(16) = 0xAF;
    EXPECT_FALSE(CounterIsBcd(b, 16, 4));
    EXPECT_TRUE(CounterIsBcd(b, 20, 4));
}

namespace {
// refusal: a part of the one refusal expected, or "" for none.
void ExpectOneRefusal(const std::vector<std::string>& refusals, const std::string& refusal)
{
    if (refusal.empty()) {
        EXPECT_TRUE(refusals.empty()) << refusals.front();
        return;
    }
    ASSERT_EQ(refusals.size(), 1u) << refusal;
    EXPECT_NE(refusals[0].find(refusal), std::string::npos) << refusals[0];
}
}  // namespace

// What each model takes from an image about to be restored onto it.
TEST(ModelRules, WhatEachModelTakesFromARestoredImage)
{
    auto image = [](int type1, int code1, bool flag1, int address, bool withBadMinutes) {
        TImageBuffer b;
        TDeviceSettings s(b);
        s.SetInputType(1, type1);
        s.SetPulseValueCode(1, code1);
        s.SetLineTest(1, flag1);
        s.SetLineTest(2, true);  // channel 2: a slow input, as a slow input must be
        s.SetAddress(address);
        s.SetCorrection(0);
        if (withBadMinutes)
            s.SetCounterText(TCounter::Tp1, "0000175");
        return b;
    };
    const struct {
        TImageBuffer image;
        uint8_t model;
        bool counters;
        const char* refusal;  // a part of the one refusal, or "" for none
    } rows[] = {
        {image(0, 1, true, 5, false), kModelZenda1, false, ""},
        {image(2, 3, false, 5, false), kModelZenda3, false, ""},
        {image(2, 3, false, 5, false), kModelZenda1, false, "не из тех, что принимает ZENDA1"},
        {image(0, 3, true, 5, false), kModelZenda2, false, "цена входного импульса"},
        {image(0, 1, false, 5, false), kModelZenda2, false, "тест линии"},
        {image(1, 2, false, 0, false), kModelZenda1, false, ""},  // no address is the window's empty field
        {image(1, 2, false, 64, false), kModelZenda1, false, "сетевой адрес 64"},
        {image(0, 1, true, 5, true), kModelZenda1, false, ""},  // the counters stay the device's
        {image(0, 1, true, 5, true), kModelZenda1, true, "tp1: минуты"},
    };
    for (const auto& row : rows)
        ExpectOneRefusal(ModelRefusals(row.image, row.model, row.counters), row.refusal);
}

// The rule of every write: a changed value must be one the model takes; an untouched one goes
// back as read; an initialization checks each input's type even untouched.
TEST(ModelRules, AWriteIsJudgedOnWhatItChanges)
{
    TImageBuffer blank;  // an all-zero memory: a dry contact without its line test flag, address 0
    auto with = [&](const std::function<void(TDeviceSettings&)>& change) {
        TImageBuffer b = blank;
        TDeviceSettings s(b);
        change(s);
        return b;
    };
    const TImageBuffer freq2 = with([](TDeviceSettings& s) { s.SetInputType(2, 2); });
    const struct {
        TImageBuffer held, written;
        uint8_t model;
        bool init;
        const char* refusal;
    } rows[] = {
        {blank, blank, kModelZenda1, true, ""},  // address 0 and the blank flag go back as they were
        {blank, with([](TDeviceSettings& s) { s.SetCorrection(5); }), kModelZenda1, false, ""},
        {blank, with([](TDeviceSettings& s) { s.SetAddress(64); }), kModelZenda1, false, "сетевой адрес 64"},
        {blank, with([](TDeviceSettings& s) { s.SetPulseValueCode(1, 2); }), kModelZenda1, false, "тест линии"},
        {blank, freq2, kModelZenda1, true, "не из тех, что принимает ZENDA1"},   // a page of a ZENDA3
        {freq2, freq2, kModelZenda1, false, ""},                                 // held: an RTC keeps it
        {freq2, freq2, kModelZenda1, true, "не из тех, что принимает ZENDA1"},   // an initialization does not
        {freq2, freq2, 0, true, ""},                                             // the model not asked
        {blank, with([](TDeviceSettings& s) { s.SetCounterText(TCounter::Tp2, "0000175"); }), kModelZenda2, false,
         "tp2: минуты"},
    };
    for (const auto& row : rows)
        ExpectOneRefusal(WriteRefusals(row.held, row.written, row.model, row.init), row.refusal);
}

// What the device holds, shown whole: the field's hidden digit, bytes that are not a number or
// not a date, and every changed byte in the change list.
TEST(ModelRules, ValuesAreShownWholeOrAsTheirBytes)
{
    TImageBuffer b;
    TDeviceSettings s(b);
    for (int i = 0; i < 4; ++i)
        b.At(pos::Tp1 + i) = std::array<uint8_t, 4>{0x12, 0x34, 0x56, 0x78}[i];
    b.At(pos::V1) = 0x7A;
    EXPECT_EQ(s.CounterWhole(TCounter::Tp1), "785634:12");
    EXPECT_FALSE(s.CounterFitsField(TCounter::Tp1));
    EXPECT_EQ(s.CounterWhole(TCounter::Tp2), "00000:00");
    EXPECT_TRUE(s.CounterFitsField(TCounter::Tp2));
    EXPECT_EQ(s.CounterWhole(TCounter::V1), "не число: байты 7A 00 00 00");
    EXPECT_EQ(s.StampWhole(), "не дата: байты 00 00 00 00 00");  // day 0, month 0
    s.StampClock(TLocalTime{2026, 12, 10, 9, 5, 0});
    EXPECT_EQ(s.StampWhole(), "10.12.2026 09:05");
    b.At(pos::StampHour) = 0x25;
    EXPECT_EQ(s.StampWhole(), "не дата: байты 05 25 10 12 26");

    TImageBuffer after = b;
    after.At(pos::Tp1 + 3) = 0x08;  // the digit the field cannot show
    EXPECT_EQ(DescribeChanges(b, after), std::vector<std::string>{"tp1: 785634:12 -> 85634:12"});
    after = b;
    after.StampClock(TLocalTime{2026, 12, 10, 9, 5, 0});
    EXPECT_EQ(DescribeChanges(b, after), std::vector<std::string>{"часы записаны: 10.12.2026 09:05"});
}
