#include "shown.h"

#include "channels.h"
#include "settings.h"

namespace {
const char* const kModelNames[3] = {"ZENDA1", "ZENDA2", "ZENDA3"};

// A counter whole (the mask's literals in place), empty for a volume counter whose channel has
// no mask (a forbidden type).
std::string CounterShown(const TDeviceSettings& s, TCounter c, const std::string& mask)
{
    return mask.empty() ? std::string() : s.CounterWhole(c);
}
}  // namespace

TShownSettings ShownSettings(const TImageBuffer& image)
{
    TImageBuffer copy = image;
    TDeviceSettings s(copy);
    TShownSettings out;
    const int model = TDeviceSettings::ModelIndex(s.ModelCode());
    out.model = model >= 0 ? kModelNames[model] : "";
    out.serial = s.SerialNumber();
    out.address = s.Address();
    out.v2Reset = s.V2Reset();
    out.correction = s.Correction();
    out.stampDate = s.StampDateText();
    out.stampTime = s.StampTimeText();
    TChannelTable table(copy);
    table.Recreate();
    table.AppendStartRows();
    if (model == 0)
        table.ApplyModel1();
    else
        table.ApplyModel23(model > 0 ? model : 2);
    table.LoadChannels();
    for (int r = 0; r < table.RowCount(); ++r)
        out.channels.push_back(
            {table.GetText(r, colCenaDiv), table.GetText(r, colLineTest), table.GetText(r, colTypeInSig)});
    out.tp1 = CounterShown(s, TCounter::Tp1, "00000\\:00;0;_");
    out.tp2 = CounterShown(s, TCounter::Tp2, "00000\\:00;0;_");
    out.v1 = CounterShown(s, TCounter::V1, s.VolumeMask(1));
    out.v2 = CounterShown(s, TCounter::V2, s.VolumeMask(2));
    return out;
}
