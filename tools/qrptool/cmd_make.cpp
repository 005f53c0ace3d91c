// qrptool make OUT.qrp [--compress] EMF...: a saved report with one page per EMF file,
// produced the way reports are: a report stream with a 100000-byte memory limit,
// one appended page per picture, the final header, and a copy into the file.
#include "Command.h"

#include "base/Errors.h"
#include "base/OutputFile.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <stdexcept>
#include <string>

namespace qrptool {
namespace {

constexpr std::int32_t kProductionMemoryLimit = 100000;

int RunMake(const Args& args)
{
    const Args pos = Positional(args, {});
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-' && a != "--compress")
            throw EUsage{"unknown option " + a};
    if (pos.size() < 2)
        throw EUsage{"expected OUT.qrp and at least one EMF file"};
    const std::string& out = pos[0];
    qrp::RefuseToOverwrite(Args(pos.begin() + 1, pos.end()), out);

    qrp::TQRPageList pages;
    pages.SetStorage(std::make_unique<qrp::TQRStream>(kProductionMemoryLimit));
    pages.SetCompressed(HasFlag(args, "--compress"));
    for (std::size_t i = 1; i < pos.size(); ++i) {
        qrp::TFileStream in(pos[i], qrp::TFileStream::Mode::OpenReadShared);
        qrp::TMetafile picture;
        try {
            picture.LoadFromStream(in);
        } catch (const qrp::EInvalidGraphic& e) {
            throw qrp::EInvalidGraphic("\"" + in.FileName() + "\": " + e.what());
        }
        pages.AppendPage(picture);
    }
    pages.Complete();
    qrp::TOutputFile target(out);
    pages.CopyToStream(target);
    target.Commit();
    const int count = pages.Count();
    ReportWritten(out, std::to_string(count) + (count == 1 ? " page" : " pages") +
                           (pages.Compressed() ? ", compressed" : ""));
    return 0;
}

const TCommandRegistration registration("make", RunMake);

} // namespace
} // namespace qrptool
