// What poppler's tools say of a PDF: its text, its page count, whether its fonts are embedded.
#pragma once

#include <cstdio>
#include <string>

inline std::string CommandOutput(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char b[4096];
        size_t n;
        while ((n = fread(b, 1, sizeof b, p)) > 0)
            out.append(b, n);
        pclose(p);
    }
    return out;
}

inline std::string PdfText(const std::string& path) { return CommandOutput("pdftotext -layout '" + path + "' -"); }
