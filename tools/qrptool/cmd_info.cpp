// qrptool info FILE [--json]: the structure of a saved report, header and page records.
#include "Command.h"
#include "Json.h"

#include "storage/QRStream.h"
#include "storage/ReportDate.h"
#include "storage/ReportFileInfo.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace qrptool {
namespace {

std::string IsoDateTime(double value)
{
    qrp::TDateTimeParts p;
    if (!qrp::DecodeDateTime(value, p))
        return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.Year, p.Month, p.Day, p.Hour,
                  p.Minute, p.Second, p.Millisecond);
    return buf;
}

std::string Json(const qrp::TReportFileInfo& info)
{
    const std::string when = IsoDateTime(info.Header.WrittenAt());
    std::string out = "{\"header_size\": " + std::to_string(info.HeaderSize) +
                      ", \"pages_in_file\": " + std::to_string(info.Header.PagesInFile()) +
                      ", \"compressed\": " + (info.Compressed ? "true" : "false") +
                      ", \"written_at\": " + (when.empty() ? "null" : JsonString(when)) + ", \"pages\": [";
    bool first = true;
    for (const auto& r : info.Pages) {
        out += first ? "" : ", ";
        first = false;
        out += "{\"page\": " + std::to_string(r.PageNo) + ", \"offset\": " + std::to_string(r.Offset) +
               ", \"data_length\": " + std::to_string(r.DataLength) + ", \"emf_length\": ";
        if (r.EmfValid) {
            const auto& f = r.Emf.Frame;
            out += std::to_string(r.Emf.Bytes) + ", \"frame\": [" + std::to_string(f.Left) + ", " +
                   std::to_string(f.Top) + ", " + std::to_string(f.Right) + ", " + std::to_string(f.Bottom) + "]}";
        } else {
            out += "null, \"frame\": null}";
        }
    }
    return out + "]}\n";
}

std::string Text(const std::string& path, const qrp::TReportFileInfo& info)
{
    const std::string when = IsoDateTime(info.Header.WrittenAt());
    std::string out;
    char line[256];
    out += "File:        " + path + "\n";
    std::snprintf(line, sizeof line, "Header:      %d bytes (%s layout)\n", info.HeaderSize,
                  info.HeaderSize == qrp::TSavedReportHeader::OlderSize ? "older" : "current");
    out += line;
    out += "PagesInFile: " + std::to_string(info.Header.PagesInFile()) + "\n";
    out += std::string("Compressed:  ") + (info.Compressed ? "yes" : "no") + "\n";
    out += "WrittenAt:   " + (when.empty() ? std::string("(not a date)") : when) + "\n";
    out += "File size:   " + std::to_string(info.FileSize) + " bytes\n\n";
    out += " Page      Offset  DataLength   EmfLength  Frame (0.01 mm: left top right bottom)\n";
    for (const auto& r : info.Pages) {
        if (r.EmfValid) {
            const auto& f = r.Emf.Frame;
            std::snprintf(line, sizeof line, "%5d %11lld %11lld %11u  %d %d %d %d\n", r.PageNo,
                          static_cast<long long>(r.Offset), static_cast<long long>(r.DataLength), r.Emf.Bytes,
                          f.Left, f.Top, f.Right, f.Bottom);
        } else {
            std::snprintf(line, sizeof line, "%5d %11lld %11lld %11s  (no valid EMF header)\n", r.PageNo,
                          static_cast<long long>(r.Offset), static_cast<long long>(r.DataLength), "-");
        }
        out += line;
    }
    return out;
}

int RunInfo(const Args& args)
{
    const Args files = Positional(args, {});
    if (files.size() != 1)
        throw EUsage{"expected one FILE"};
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-' && a != "--json")
            throw EUsage{"unknown option " + a};
    auto stream = qrp::TQRStream::OpenExisting(files[0]);
    const auto info = qrp::ReadReportFileInfo(*stream);
    const std::string out = HasFlag(args, "--json") ? Json(info) : Text(files[0], info);
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        throw std::runtime_error("cannot write the description");
    return 0;
}

const TCommandRegistration registration("info", RunInfo);

} // namespace
} // namespace qrptool
