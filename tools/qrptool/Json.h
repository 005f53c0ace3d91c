#pragma once
// JSON text for the commands' --json output.
#include <cstdio>
#include <string>

namespace qrptool {

// s (UTF-8) as a JSON string literal, quotes included.
inline std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace qrptool
