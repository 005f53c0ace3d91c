#pragma once
// Shell helpers for the tests that check PDF output with poppler's pdfinfo.
#include <cstdio>
#include <regex>
#include <string>

namespace qrp::testing {

// Standard output of a shell command (stderr dropped); empty when it cannot run.
inline std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* f = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        pclose(f);
    }
    return out;
}

struct TPdfInfo {
    int Pages = 0;
    double Width = 0, Height = 0; // points
};

inline TPdfInfo PdfInfo(const std::string& pdf)
{
    TPdfInfo info;
    const std::string text = Shell("pdfinfo '" + pdf + "'");
    std::smatch m;
    if (std::regex_search(text, m, std::regex("Pages:\\s+(\\d+)")))
        info.Pages = std::stoi(m[1]);
    if (std::regex_search(text, m, std::regex("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")))
        info.Width = std::stod(m[1]), info.Height = std::stod(m[2]);
    return info;
}

} // namespace qrp::testing
