#pragma once
// Helpers shared by the printer tests: scripted print queues, hand-built page
// pictures of a given paper size, and saved report files made from them.
#include "emf/Metafile.h"
#include "platform/ScriptedPrinterDevice.h"
#include "storage/PageList.h"
#include "storage/QRStream.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace qrp::testing {

inline void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

// The smallest valid picture: a header whose frame is widthMm x heightMm, then the
// end-of-file record. tag goes into the description-less reserved device size so
// pictures of the same size still differ byte for byte.
inline TMetafile PictureOfSize(double widthMm, double heightMm, std::uint32_t tag = 0)
{
    std::vector<std::uint8_t> b(88 + 20, 0);
    Put32(b, 0, 1);    // EMR_HEADER
    Put32(b, 4, 88);
    Put32(b, 8, 0);
    Put32(b, 12, 0);
    Put32(b, 16, static_cast<std::uint32_t>(widthMm * 96 / 25.4));
    Put32(b, 20, static_cast<std::uint32_t>(heightMm * 96 / 25.4));
    Put32(b, 24, 0);
    Put32(b, 28, 0);
    Put32(b, 32, static_cast<std::uint32_t>(widthMm * 100 + 0.5));
    Put32(b, 36, static_cast<std::uint32_t>(heightMm * 100 + 0.5));
    Put32(b, 40, 0x464D4520); // " EMF"
    Put32(b, 44, 0x10000);
    Put32(b, 48, static_cast<std::uint32_t>(b.size()));
    Put32(b, 52, 2);
    b[56] = 1;
    Put32(b, 72, 1024 + tag);
    Put32(b, 76, 768);
    Put32(b, 80, 320);
    Put32(b, 84, 240);
    Put32(b, 88, 14); // EMR_EOF
    Put32(b, 92, 20);
    Put32(b, 96, 0);
    Put32(b, 100, 16);
    Put32(b, 104, 20);
    TMetafile picture;
    picture.LoadFromBytes(std::move(b));
    return picture;
}

// Writes a saved report holding the given pictures.
inline void WriteReport(const std::string& path, const std::vector<TMetafile>& pages)
{
    TQRPageList list;
    list.SetStorage(std::make_unique<TQRStream>(100000));
    for (const auto& p : pages)
        list.AppendPage(p);
    list.Complete();
    list.CopyToFile(path);
}

inline std::vector<TMetafile> PagesOfSize(int count, double widthMm, double heightMm)
{
    std::vector<TMetafile> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back(PictureOfSize(widthMm, heightMm, static_cast<std::uint32_t>(i)));
    return pages;
}

// A queue that declares the usual fields and offers the given paper codes.
inline TScriptedQueue Queue(const std::string& name, std::vector<std::int16_t> papers = {1, 9, 256})
{
    TScriptedQueue q;
    q.Name = name;
    q.Papers = std::move(papers);
    return q;
}

// A folder of its own for one test, removed with it.
class TTempDir {
public:
    TTempDir()
    {
        // mkdtemp fills in the six trailing capital X letters.
        std::string pattern = (std::filesystem::temp_directory_path() / ("qrp-printer-" + std::string(6, 'X'))).string();
        path_ = mkdtemp(pattern.data());
    }
    ~TTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace qrp::testing
