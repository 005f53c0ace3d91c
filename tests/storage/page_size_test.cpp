// The largest page a report may hold: a page claiming more (a few megabytes of code
// can claim gigabytes once expanded) is refused with a clear message before anything
// of its size is allocated, the other pages still read, and a page of exactly the
// largest size is written and read back.
#include "ReportBuilder.h"

#include "base/Errors.h"
#include "storage/QRCompress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qrp;
using namespace qrp::test;

namespace {

constexpr std::int64_t kLimit = TQRPageList::MaxPageBytes;

void PutI32(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v)
{
    PutU32(b, at, static_cast<std::uint32_t>(v));
}

// A saved report written record by record: `data` is what follows PageNo and
// NextRecord (ExpandedSize and the code, or the picture).
class TRawReport {
public:
    explicit TRawReport(bool compressed)
    {
        auto list = BuildReport(1, compressed);
        const auto good = StreamBytes(*list);
        bytes_.assign(good.begin(), good.begin() + TSavedReportHeader::Size);
    }
    void AddRecord(const std::vector<std::uint8_t>& data)
    {
        const auto start = static_cast<std::int32_t>(bytes_.size());
        const auto next = static_cast<std::int32_t>(start + 8 + data.size() + 4);
        bytes_.resize(bytes_.size() + 8);
        PutI32(bytes_, start, ++pages_);
        PutI32(bytes_, start + 4, next);
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        bytes_.resize(bytes_.size() + 4);
        PutI32(bytes_, bytes_.size() - 4, start);
        PutI32(bytes_, 8, pages_); // PagesInFile
    }
    std::string Save(const TTempDir& dir, const std::string& name) const
    {
        const std::string path = dir / name;
        WriteAll(path, bytes_);
        return path;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::int32_t pages_ = 0;
};

std::vector<std::uint8_t> CompressedData(std::int32_t expanded, const std::vector<std::uint8_t>& code)
{
    std::vector<std::uint8_t> data(4);
    PutI32(data, 0, expanded);
    data.insert(data.end(), code.begin(), code.end());
    return data;
}

// Peak resident memory of the process, in bytes.
std::int64_t PeakResident()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<std::int64_t>(u.ru_maxrss) * 1024;
}

// How much the peak resident memory grows while `work` runs, measured in a child
// process so that whatever this process used before does not hide it.
std::int64_t PeakGrowth(const std::function<void()>& work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const std::int64_t before = PeakResident();
        try {
            work();
        } catch (...) {
        }
        const std::int64_t growth = PeakResident() - before;
        const bool sent = write(fds[1], &growth, sizeof growth) == static_cast<ssize_t>(sizeof growth);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    std::int64_t growth = -1;
    if (child < 0 || read(fds[0], &growth, sizeof growth) != static_cast<ssize_t>(sizeof growth))
        growth = -1;
    close(fds[0]);
    int status = 0;
    if (child > 0)
        waitpid(child, &status, 0);
    return growth;
}

void ExpectTooLarge(TQRPageList& list, int n)
{
    try {
        list.ReadPage(n);
        ADD_FAILURE() << "page " << n << " was read";
    } catch (const EReportFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("Page " + std::to_string(n) + " is too large"), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("64 MiB"), std::string::npos) << e.what();
    }
}

// Page 2 of the file at path is refused before it is allocated: far less than its size
// is ever resident while it is read.
void ExpectRefusedCheaply(const std::string& path)
{
    const std::int64_t growth = PeakGrowth([&] {
        TQRPageList again;
        again.OpenFile(path);
        again.ReadPage(2);
    });
    ASSERT_GE(growth, 0);
    EXPECT_LT(growth, kLimit / 4) << "bytes";
}

} // namespace

TEST(PageSize, CompressedPageOverTheLimitIsRefusedBeforeExpanding)
{
    TTempDir dir;
    // Zero bytes of code: each expands to at least one byte, so the stated size is
    // possible for the code's length and only the limit stands against it.
    const std::int32_t expanded = static_cast<std::int32_t>(kLimit + 1);
    const std::vector<std::uint8_t> code((kLimit + 1) / 8 + 1, 0);
    TRawReport raw(true);
    raw.AddRecord(CompressedData(static_cast<std::int32_t>(PageImage(1).size()), CodeOf(PageImage(1))));
    raw.AddRecord(CompressedData(expanded, code));
    raw.AddRecord(CompressedData(static_cast<std::int32_t>(PageImage(3).size()), CodeOf(PageImage(3))));
    const std::string path = raw.Save(dir, "bomb.qrp");

    TQRPageList list;
    list.OpenFile(path);
    ASSERT_EQ(list.Count(), 3);
    ExpectTooLarge(list, 2);
    // The other pages read, before and after, in either direction.
    auto third = list.ReadPage(3);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->Bytes(), PageImage(3));
    ExpectTooLarge(list, 2);
    auto first = list.ReadPage(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Bytes(), PageImage(1));

    // Refused before the expanded page is allocated or decoded.
    ExpectRefusedCheaply(path);
}

TEST(PageSize, PlainPageStatingMoreThanTheLimitIsRefused)
{
    TTempDir dir;
    // A picture whose own header states a length over the limit, all of it present.
    std::vector<std::uint8_t> huge = MakeEmf(static_cast<std::uint32_t>(kLimit + 16));
    TRawReport raw(false);
    raw.AddRecord(PageImage(1));
    raw.AddRecord(huge);
    huge.clear();
    huge.shrink_to_fit();
    const std::string path = raw.Save(dir, "huge.qrp");

    TQRPageList list;
    list.OpenFile(path);
    ExpectTooLarge(list, 2);
    auto first = list.ReadPage(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Bytes(), PageImage(1));

    ExpectRefusedCheaply(path);
}

TEST(PageSize, PageOfTheLargestSizeIsWrittenAndReadBackAndALargerOneIsNotWritten)
{
    // Plain pages only for the largest one: coding 64 MiB each way would take seconds
    // and the limit is the same check for both kinds.
    for (const bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "compressed" : "plain");
        // Kept in memory: a stream spilled to a file would only make this slower.
        auto list = BuildReport(1, compressed, std::int32_t(1) << 30);
        if (!compressed) {
            TMetafile largest;
            largest.LoadFromBytes(MakeEmf(static_cast<std::uint32_t>(kLimit), {0, 0, 20999, 29699}, 5));
            list->AppendPage(largest);
        }
        list->Complete();
        if (!compressed) {
            auto back = list->ReadPage(2);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->Bytes(), MakeEmf(static_cast<std::uint32_t>(kLimit), {0, 0, 20999, 29699}, 5));
        }
        const int pages = list->Count();

        // One over: refused, and the report is as it was.
        const std::int64_t size = list->Storage()->Size();
        TMetafile over;
        over.LoadFromBytes(MakeEmf(static_cast<std::uint32_t>(kLimit + 4)));
        try {
            list->AppendPage(over);
            ADD_FAILURE() << "a page over the limit was written";
        } catch (const EReportFormatError& e) {
            EXPECT_NE(std::string(e.what()).find("Page " + std::to_string(pages + 1) + " is too large"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(list->Count(), pages);
        EXPECT_EQ(list->Storage()->Size(), size);
        EXPECT_TRUE(list->ReadPage(1));
    }
}
