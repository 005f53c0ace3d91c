#pragma once
// Builds reports through the page list the way page production does.
#include "tests/support/TestEmf.h"

#include "storage/PageList.h"
#include "storage/QRCompress.h"
#include "storage/ReportDate.h"

#include <memory>

namespace qrp::test {

// The image of page k of a test report: its length and content vary with k.
inline std::vector<std::uint8_t> PageImage(int k)
{
    return MakeEmf(120 + 4 * static_cast<std::uint32_t>((k * 37) % 60), {0, 0, 20999 + k, 29699},
                   static_cast<std::uint32_t>(k));
}

constexpr double kJan2000 = 36526.0;

// The page codec's code for the bytes of in.
inline std::vector<std::uint8_t> CodeOf(const std::vector<std::uint8_t>& in)
{
    TMemoryStream out;
    TQRCompress c(out, true);
    for (auto b : in)
        c.EncodeByte(b);
    c.Finish();
    return out.TakeBytes();
}

inline std::unique_ptr<TQRPageList> BuildReport(int pages, bool compressed, std::int32_t limit = 100000,
                                                bool complete = true)
{
    auto list = std::make_unique<TQRPageList>();
    list->SetClock([] { return kJan2000; });
    list->SetStorage(std::make_unique<TQRStream>(limit));
    list->SetCompressed(compressed);
    for (int k = 1; k <= pages; ++k) {
        TMetafile m;
        m.LoadFromBytes(PageImage(k));
        list->AppendPage(m);
    }
    if (complete)
        list->Complete();
    return list;
}

// The whole content of a list's stream.
inline std::vector<std::uint8_t> StreamBytes(TQRPageList& list)
{
    TMemoryStream copy;
    list.Storage()->DumpTo(copy);
    return copy.TakeBytes();
}

inline std::string SaveReport(TQRPageList& list, const std::string& path)
{
    list.CopyToFile(path);
    return path;
}

} // namespace qrp::test
