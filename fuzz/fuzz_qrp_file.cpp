// Opens arbitrary bytes as a saved report and reads every page, with the compression
// switch as the header says and the other way round, and describes its records.
#include "emf/Metafile.h"
#include "platform/Errors.h"
#include "storage/PageList.h"
#include "storage/ReportFileInfo.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

const std::string& InputPath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string tmpl = std::string(dir && *dir ? dir : "/tmp") + "/fuzz-qrp-XXXXXX";
        const int fd = ::mkstemp(tmpl.data());
        if (fd < 0)
            std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(InputPath().c_str()); });
        return tmpl;
    }();
    return path;
}

void WriteInput(const std::uint8_t* data, std::size_t size)
{
    qrp::TFileStream f(InputPath(), qrp::TFileStream::Mode::CreateReadWrite);
    f.WriteBuffer(data, static_cast<std::int64_t>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WriteInput(data, size);
    qrp::TQRPageList list;
    try {
        list.OpenFile(InputPath());
    } catch (const qrp::EError&) {
        return 0;
    }
    const std::int32_t count = list.Count() < 64 ? list.Count() : 64;
    const bool fromHeader = list.Compressed();
    for (const bool compressed : {fromHeader, !fromHeader}) {
        list.SetCompressed(compressed);
        for (std::int32_t n = 1; n <= count; ++n) {
            try {
                auto page = list.ReadPage(n);
                if (page)
                    (void)page->Width();
            } catch (const qrp::EError&) {
            }
        }
        for (std::int32_t n = count; n >= 1; n -= 3) {
            try {
                list.ReadPage(n);
            } catch (const qrp::EError&) {
            }
        }
    }
    try {
        list.Storage()->SetPosition(0);
        qrp::ReadReportFileInfo(*list.Storage());
    } catch (const qrp::EError&) {
    }
    return 0;
}
