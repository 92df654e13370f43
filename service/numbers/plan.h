// The production station's plan: one device a row, its factory number and what it gets besides.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "channels.h"
#include "base/refusal.h"

// One device of the plan: its number and what it gets besides (unset: the station's options,
// else what the device holds).
struct TPlanRow {
    int serial = 0;
    std::optional<int> address;
    QString ch1, ch2;
    int v2Reset = -1;  // -1: not given, 0 no, 1 yes
    int line = 0;      // in the plan file, for the messages (0: from --serial-from)
};

// Reads a plan file: a header naming the columns (serial, address, ch1, ch2, v2-reset), then
// one device a row; comma or semicolon between the cells. Throws ERefused naming the row.
std::vector<TPlanRow> ParsePlan(const QByteArray& text, const QString& file);
// The plan file read whole and parsed (a regular file, 16 MiB at most); ERefused saying why not.
std::vector<TPlanRow> ReadPlanFile(const QString& file);
// Bad numbers, duplicates, values out of range: ERefused naming the row.
void CheckPlan(const std::vector<TPlanRow>& rows, const QString& file = {});

// A channel's settings ("value=0.01,type=pulse,test=no" or the window's own texts) applied
// through the channel table's rules; ERefused for what the table would not allow. notes say
// what a new type forced, the window's texts in them worded by human.
void ApplyChannelSpec(
    TChannelTable& table, int row, const QString& spec, std::vector<std::string>& notes,
    const std::function<QString(const QString&)>& human = [](const QString& t) { return t; });
