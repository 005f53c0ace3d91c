// qrptool extract FILE PAGE -o OUT.emf: one page's EMF image, byte for byte.
#include "Command.h"
#include "OutputFile.h"

#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace qrptool {
namespace {

int RunExtract(const Args& args)
{
    const std::string out = OptionValue(args, "-o");
    const Args pos = Positional(args, {"-o"});
    if (pos.size() != 2 || out.empty())
        throw EUsage{"expected FILE, PAGE and -o OUT.emf"};
    const std::string& file = pos[0];
    char* end = nullptr;
    errno = 0;
    const long long page = std::strtoll(pos[1].c_str(), &end, 10);
    if (errno != 0 || end == pos[1].c_str() || *end != '\0')
        throw EUsage{"PAGE must be a whole number, not \"" + pos[1] + "\""};
    if (SameFile(file, out))
        throw std::runtime_error("the output \"" + out + "\" is the report itself");

    qrp::TQRPageList pages;
    pages.OpenFile(file); // takes the compression switch from the file's header
    if (page < 1 || page > pages.Count())
        throw std::runtime_error("page " + pos[1] + " is outside the report (1.." + std::to_string(pages.Count()) +
                                 ")");
    const auto picture = pages.ReadPage(static_cast<std::int32_t>(page));
    if (!picture)
        throw std::runtime_error("page " + pos[1] + " cannot be read");
    WriteFileAtomically(out, [&](const std::string& temp) {
        qrp::TFileStream target(temp, qrp::TFileStream::Mode::CreateReadWrite);
        picture->SaveToStream(target);
    });
    return 0;
}

TCommandRegistration registration{{
    "extract",
    "extract FILE PAGE -o OUT.emf",
    "Writes the EMF image of page PAGE (1-based) of the saved report FILE to OUT.emf,\n"
    "byte for byte as stored (expanded when the report's pages are compressed). The\n"
    "report is only read; OUT.emf appears only when it is complete.",
    RunExtract,
}};

} // namespace
} // namespace qrptool
