// What the team client's files share inside team/ (never outside it): libpq's words on one line,
// and numbers and arrays as the server's text.
#pragma once

#include <string>
#include <vector>

namespace zteam {
// libpq's message on one line, without its line end.
std::string Trimmed(const char* text);
// "what: why", appended piece by piece (GCC 12 at -O3 warns falsely of a literal joined to a
// temporary string).
std::string Joined(const char* what, const std::string& why);
std::string IntArray(const std::vector<int>& v);  // "{1,2,3}"
std::string Number(long long n);
}  // namespace zteam
