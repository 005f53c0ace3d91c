// qrptool extract FILE PAGE -o OUT.emf: one page's EMF image, byte for byte.
#include "Command.h"
#include "PageRange.h"

#include "base/OutputFile.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

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
    const long long page = WholeNumber(pos[1], "PAGE");
    qrp::RefuseToOverwrite({file}, out);

    qrp::TQRPageList pages;
    pages.OpenFile(file); // takes the compression switch from the file's header
    const int n = CheckPage(page, pages.Count());
    const auto picture = pages.ReadPage(n);
    if (!picture)
        throw std::runtime_error("page " + std::to_string(n) + " cannot be read");
    qrp::TOutputFile target(out);
    picture->SaveToStream(target);
    target.Commit();
    ReportWritten(out, "page " + std::to_string(n) + ", " + std::to_string(picture->Bytes().size()) + " bytes");
    return 0;
}

const TCommandRegistration registration("extract", RunExtract);

} // namespace
} // namespace qrptool
