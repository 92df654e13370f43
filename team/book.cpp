// The book of factory numbers: a station's token, its takes, begun writes and ends; the numbers
// a PC's records show used; a PC's greeting of the server, which finds a server gone back in time.
#include "teamdb.h"

#include "internal.h"

using namespace zteam;

int64_t TTeamDb::Hello() { return std::stoll(Exec("SELECT zenda.hello()").at(0).at(0).value()); }

std::optional<int> TTeamDb::Take(int64_t token, std::vector<int> plan)
{
    std::sort(plan.begin(), plan.end());  // the lowest free one: the server stops at the first
    const auto rows = Exec("SELECT zenda.take_number($1, $2)", {Number(token), IntArray(plan)});
    if (rows.empty() || !rows[0].at(0))
        return std::nullopt;
    return std::stoi(*rows[0][0]);
}

void TTeamDb::Begin(int64_t token, int serial)
{
    Exec("SELECT zenda.begin_write($1, $2)", {Number(token), Number(serial)});
}

void TTeamDb::Finish(int64_t token, int serial, bool done)
{
    Exec("SELECT zenda.finish_write($1, $2, $3)", {Number(token), Number(serial), done ? "true" : "false"});
}

void TTeamDb::Release(int64_t token, int serial)
{
    Exec("SELECT zenda.release_number($1, $2)", {Number(token), Number(serial)});
}

namespace {
// Numbers and whether each was verified, as the book's functions take them: two arrays.
std::vector<std::optional<std::string>> UsedArrays(const std::map<int, bool>& doneBySerial)
{
    std::vector<int> serials;
    std::string verified = "{";
    for (const auto& [s, d] : doneBySerial) {
        serials.push_back(s);
        if (serials.size() > 1)
            verified += ',';
        verified += d ? 't' : 'f';
    }
    return {IntArray(serials), verified + "}"};
}
}  // namespace

void TTeamDb::MarkUsed(const std::map<int, bool>& doneBySerial)
{
    if (!doneBySerial.empty())
        Exec("SELECT zenda.mark_used($1, $2)", UsedArrays(doneBySerial));
}

std::set<int> TTeamDb::Used(const std::vector<int>& serials)
{
    std::set<int> used;
    for (const auto& row : Exec("SELECT zenda.used_numbers($1)", {IntArray(serials)}))
        used.insert(std::stoi(row.at(0).value()));
    return used;
}

TTeamDb::TServer TTeamDb::Greet(const TServer& known)
{
    const auto rows = Exec("SELECT id, generation, greets, awaited, went_back, why FROM zenda.greet($1, $2, $3)",
                           {known.id, Number(known.generation), Number(known.greets)});
    const TRow& r = rows.at(0);
    return {r.at(0).value_or(""), std::stoi(r.at(1).value_or("0")), std::stoll(r.at(2).value_or("0")),
            r.at(3).value_or(""), r.at(4).value_or(""), r.at(5).value_or("")};
}

void TTeamDb::Tell(const std::map<int, bool>& doneBySerial) { Exec("SELECT zenda.tell($1, $2)", UsedArrays(doneBySerial)); }
