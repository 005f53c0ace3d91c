// Opens arbitrary bytes as a saved report and reads every page, with the compression
// switch as the header says and the other way round, and describes its records.
#include "base/Errors.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"
#include "storage/ReportFileInfo.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The input lives in an anonymous memory file, opened by path like a saved report,
// so no disk write slows the run.
int InputFd()
{
    static const int fd = [] {
        const int f = ::memfd_create("qrp-input", MFD_CLOEXEC);
        if (f < 0)
            std::abort();
        return f;
    }();
    return fd;
}

std::string WriteInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = InputFd();
    if (::ftruncate(fd, 0) != 0)
        std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (w <= 0)
            std::abort();
        done += static_cast<std::size_t>(w);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteInput(data, size);
    qrp::TQRPageList list;
    try {
        list.OpenFile(path);
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
