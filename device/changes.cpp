#include "changes.h"

#include "channels.h"
#include "settings.h"

namespace {
std::string ChannelValue(const TDeviceSettings& s, int c)
{
    const int t = s.InputType(c);
    if (t >= 2)
        return TicksTexts[3];
    return (t == 0 ? TicksTexts : TicksTextsFast)[s.PulseValueCode(c)];
}


std::string YesNo(bool v) { return v ? "да" : "нет"; }
}  // namespace

std::vector<std::string> DescribeChanges(const TImageBuffer& before, const TImageBuffer& after)
{
    TImageBuffer b = before, a = after;
    const TDeviceSettings was(b), now(a);
    std::vector<std::string> out;
    auto field = [&](const std::string& name, const std::string& from, const std::string& to) {
        if (from != to)
            out.push_back(name + ": " + from + " -> " + to);
    };
    field("Заводской номер", std::to_string(was.SerialNumber()), std::to_string(now.SerialNumber()));
    field("Сетевой адрес", std::to_string(was.Address()), std::to_string(now.Address()));
    field("Возможность обнуления счетчика объема V2", YesNo(was.V2Reset()), YesNo(now.V2Reset()));
    for (int c : {1, 2}) {
        const std::string ch = "Канал " + std::to_string(c) + ", ";
        field(ch + "тип входного сигнала", TypeInSigTexts[was.InputType(c)], TypeInSigTexts[now.InputType(c)]);
        field(ch + "цена входного импульса", ChannelValue(was, c), ChannelValue(now, c));
        field(ch + "тест линии", LineTestTexts[was.LineTest(c) ? 1 : 0], LineTestTexts[now.LineTest(c) ? 1 : 0]);
    }
    field("Автокоррекция RTC", std::to_string(was.Correction()) + " сек", std::to_string(now.Correction()) + " сек");
    bool cleared = true, changed = false;
    for (int p = pos::CountersFirst; p <= pos::CountersLast; ++p) {
        cleared &= after.At(p) == 0;
        changed |= after.At(p) != before.At(p);
    }
    if (changed && cleared) {
        out.push_back("счетчики обнулены");
    } else if (changed) {
        // Whole: every byte that changes shows in its field's line (a field shows one digit less).
        for (TCounter k : {TCounter::Tp1, TCounter::Tp2, TCounter::V1, TCounter::V2}) {
            const std::string from = was.CounterWhole(k), to = now.CounterWhole(k);
            const int at = CounterPosition(k);
            bool bytes = false;
            for (int p = at; p < at + pos::CounterBytes; ++p)
                bytes |= before.At(p) != after.At(p);
            if (bytes)  // a volume counter without a mask shows its digits raw: still whole
                out.push_back(std::string(CounterName(k)) + ": " + from + " -> " + to);
        }
    } else {
        // The counters keep their digits, but a new pulse value moves the comma: the reading changes.
        for (int c : {1, 2}) {
            const TCounter k = c == 1 ? TCounter::V1 : TCounter::V2;
            const std::string from = was.CounterWhole(k), to = now.CounterWhole(k);
            if (from == to)
                continue;
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "V" + ... (-Wrestrict).
            std::string line = "V";
            line += std::to_string(c);
            line += ": показание ";
            line += from;
            line += " -> ";
            line += to;
            line += " (меняется с ценой импульса)";
            out.push_back(line);
        }
    }
    bool stamp = false;
    for (int p = pos::StampMinute; p <= pos::StampYear; ++p)
        stamp |= after.At(p) != before.At(p);
    if (stamp)
        out.push_back("часы записаны: " + now.StampWhole());
    bool other = false;
    for (int p = pos::CountersLast + 1; p <= kImageSize; ++p)
        other |= after.At(p) != before.At(p);
    if (other)
        out.push_back("прочие байты образа изменены");
    return out;
}
