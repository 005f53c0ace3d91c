#include "ReportBuilder.h"

#include "base/Errors.h"
#include "storage/QRCompress.h"
#include "storage/ReportFileInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qrp;
using namespace qrp::test;

namespace {

void ExpectPage(TQRPageList& list, int n)
{
    auto pic = list.ReadPage(n);
    ASSERT_TRUE(pic) << "page " << n;
    ASSERT_EQ(pic->Bytes(), PageImage(n)) << "page " << n;
}

// Reads pages in order, in reverse, and jumping back and forth.
void ExpectEveryOrder(TQRPageList& list, int count)
{
    for (int n = 1; n <= count; ++n)
        ExpectPage(list, n);
    for (int n = count; n >= 1; --n)
        ExpectPage(list, n);
    for (int n : {count / 2, 1, count, 2, count - 1, count / 2 + 1, count / 2 - 1, 3, count / 3})
        if (n >= 1 && n <= count)
            ExpectPage(list, n);
}

std::vector<std::uint8_t> OlderLayoutFile(int pages, std::int32_t headerPages, double writtenAt)
{
    // The older layout: 124-byte header with the date at 12, records straight after it.
    std::vector<std::uint8_t> f(124, 0);
    std::int16_t v3 = 3, v309 = 309;
    std::memcpy(f.data(), &v3, 2);
    std::memcpy(f.data() + 2, &v309, 2);
    std::memcpy(f.data() + 8, &headerPages, 4);
    std::memcpy(f.data() + 12, &writtenAt, 8);
    f[4] = 0xA1;  // ReservedA
    f[20] = 0xB2; // ReservedB
    f[21] = 0;    // CompressedPages
    for (int i = 22; i < 123; ++i)
        f[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    for (int k = 1; k <= pages; ++k) {
        const auto image = PageImage(k);
        const auto start = static_cast<std::int32_t>(f.size());
        const auto next = static_cast<std::int32_t>(start + 12 + image.size());
        f.resize(f.size() + 8);
        std::memcpy(f.data() + start, &k, 4);
        std::memcpy(f.data() + start + 4, &next, 4);
        f.insert(f.end(), image.begin(), image.end());
        f.resize(f.size() + 4);
        std::memcpy(f.data() + f.size() - 4, &start, 4);
    }
    return f;
}

} // namespace

TEST(PageListLayout, OneUncompressedPage)
{
    auto list = BuildReport(1, false);
    const auto f = StreamBytes(*list);
    const auto image = PageImage(1);
    const auto L = static_cast<std::int32_t>(image.size());
    ASSERT_EQ(static_cast<std::int32_t>(f.size()), 140 + L);
    EXPECT_EQ(GetI32(f, 0) & 0xFFFF, 3);
    EXPECT_EQ(GetI32(f, 0) >> 16, 309);
    EXPECT_EQ(GetI32(f, 8), 1);
    double at;
    std::memcpy(&at, f.data() + 16, 8);
    EXPECT_EQ(at, kJan2000);
    EXPECT_EQ(f[25], 0);
    EXPECT_EQ(GetI32(f, 128), 1);
    EXPECT_EQ(GetI32(f, 132), 140 + L);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), f.begin() + 136));
    EXPECT_EQ(GetI32(f, 136 + L), 128);
    EXPECT_EQ(GetI32(f, static_cast<std::size_t>(f.size()) - 4), 128);
}

TEST(PageListLayout, ThreePagesLinkForwardAndBack)
{
    auto list = BuildReport(3, false);
    const auto f = StreamBytes(*list);
    std::int32_t start = 128;
    for (int k = 1; k <= 3; ++k) {
        const auto L = static_cast<std::int32_t>(PageImage(k).size());
        EXPECT_EQ(GetI32(f, start), k);
        const std::int32_t next = GetI32(f, start + 4);
        EXPECT_EQ(next, start + 12 + L);
        EXPECT_EQ(GetI32(f, next - 4), start) << "ThisRecord of page " << k;
        if (k == 3) {
            EXPECT_EQ(next, static_cast<std::int32_t>(f.size()));
            EXPECT_EQ(GetI32(f, f.size() - 4), start);
        }
        start = next;
    }
    EXPECT_EQ(GetI32(f, 8), 3);
}

TEST(PageListLayout, OneCompressedPage)
{
    auto list = BuildReport(1, true);
    const auto f = StreamBytes(*list);
    const auto image = PageImage(1);
    const auto code = CodeOf(image);
    const auto L = static_cast<std::int32_t>(image.size());
    const auto C = static_cast<std::int32_t>(code.size());
    ASSERT_EQ(static_cast<std::int32_t>(f.size()), 144 + C);
    EXPECT_EQ(f[25], 1);
    EXPECT_EQ(GetI32(f, 128), 1);
    EXPECT_EQ(GetI32(f, 132), 144 + C);
    EXPECT_EQ(GetI32(f, 136), L);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), f.begin() + 140));
    EXPECT_EQ(GetI32(f, 140 + C), 128);
    // Expanding L bytes from 140 ends where ThisRecord begins.
    TMemoryStream s;
    s.WriteBuffer(f.data(), static_cast<std::int64_t>(f.size()));
    s.SetPosition(140);
    TQRCompress dec(s, false);
    for (auto b : image)
        ASSERT_EQ(dec.DecodeByte(), b);
    EXPECT_EQ(s.Position(), 140 + C);
}

TEST(PageListHeader, SaysOnePageWhileProducingAndTheCountAfterComplete)
{
    auto list = BuildReport(4, false, 100000, false);
    auto f = StreamBytes(*list);
    EXPECT_EQ(GetI32(f, 8), 1);
    list->Complete();
    EXPECT_EQ(list->Storage()->Position(), 128) << "WriteHeader leaves the stream at 128";
    f = StreamBytes(*list);
    EXPECT_EQ(GetI32(f, 8), 4);

    auto empty = BuildReport(0, false, 100000, false);
    EXPECT_EQ(empty->Storage()->Size(), 0) << "no page, no bytes";
    empty->Complete();
    f = StreamBytes(*empty);
    ASSERT_EQ(f.size(), 128u);
    EXPECT_EQ(GetI32(f, 8), 0);
}

TEST(PageListHeader, WrittenAtCountsLocalDaysSince1899)
{
    EXPECT_EQ(EncodeDateTime({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
    EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 3, 1, 12, 0, 0, 0}), 61.5);
    EXPECT_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    for (const TDateTimeParts p : {TDateTimeParts{2026, 12, 8, 3, 4, 5, 678}, TDateTimeParts{1999, 12, 31, 23, 59, 59, 999},
                                   TDateTimeParts{2024, 2, 29, 0, 0, 0, 1}, TDateTimeParts{1850, 6, 15, 18, 30, 0, 250}}) {
        TDateTimeParts q;
        ASSERT_TRUE(DecodeDateTime(EncodeDateTime(p), q));
        EXPECT_EQ(std::tie(q.Year, q.Month, q.Day, q.Hour, q.Minute, q.Second, q.Millisecond),
                  std::tie(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond));
    }
    TDateTimeParts q;
    EXPECT_FALSE(DecodeDateTime(std::nan(""), q));
    EXPECT_FALSE(DecodeDateTime(1e300, q));

    // The default clock is the local date and time of the machine, whatever its zone.
    const std::time_t before = std::time(nullptr);
    const double now = LocalNow();
    std::tm tm{};
    ::localtime_r(&before, &tm);
    const double expect = EncodeDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                          tm.tm_sec, 0});
    EXPECT_NEAR(now, expect, 3.0 / 86400);

    TQRPageList list;
    list.SetStorage(std::make_unique<TQRStream>(1000));
    list.Complete();
    double stored;
    list.Storage()->SetPosition(16);
    list.Storage()->ReadBuffer(&stored, 8);
    EXPECT_NEAR(stored, expect, 3.0 / 86400);
}

TEST(PageListRead, EveryOrderGivesTheSamePictures)
{
    for (const bool compressed : {false, true}) {
        for (const std::int32_t limit : {100000, 500}) { // resident and spilled
            SCOPED_TRACE(testing::Message() << "compressed " << compressed << " limit " << limit);
            auto list = BuildReport(9, compressed, limit);
            EXPECT_EQ(list->Storage()->Resident(), limit == 100000);
            ExpectEveryOrder(*list, 9);
        }
    }
}

TEST(PageListRead, PagesCanBeReadWhileTheReportIsProduced)
{
    for (const bool compressed : {false, true}) {
        auto list = BuildReport(0, compressed, 2000, false);
        for (int k = 1; k <= 12; ++k) {
            TMetafile m;
            m.LoadFromBytes(PageImage(k));
            list->AppendPage(m);
            ExpectPage(*list, k);
            ExpectPage(*list, (k + 1) / 2);
            ExpectPage(*list, 1);
            EXPECT_EQ(list->ReadPage(k + 1), nullptr);
        }
        EXPECT_FALSE(list->Storage()->Resident());
        list->Complete();
        ExpectEveryOrder(*list, 12);
    }
}

TEST(PageListRead, OutOfRangePagesYieldNothingAndLeaveTheStream)
{
    auto list = BuildReport(3, false);
    ExpectPage(*list, 2);
    const auto pos = list->Storage()->Position();
    EXPECT_EQ(list->ReadPage(4), nullptr);
    EXPECT_EQ(list->ReadPage(0), nullptr);
    EXPECT_EQ(list->ReadPage(-5), nullptr);
    EXPECT_EQ(list->Storage()->Position(), pos);
    ExpectPage(*list, 3);
    EXPECT_EQ(list->Storage()->Position(), list->Storage()->Size()) << "after the last page, the end";
}

TEST(PageListRead, ReadPageLeavesTheStreamAtTheNextRecord)
{
    auto list = BuildReport(5, true);
    const auto info = [&] {
        list->Storage()->SetPosition(0);
        return ReadReportFileInfo(*list->Storage());
    }();
    list->PositionAtFirst();
    for (int n = 1; n <= 4; ++n) {
        ExpectPage(*list, n);
        EXPECT_EQ(list->Storage()->Position(), info.Pages[static_cast<std::size_t>(n)].Offset);
    }
    for (int n : {5, 2, 4, 3}) {
        list->PositionAtPage(n);
        EXPECT_EQ(list->Storage()->Position(), info.Pages[static_cast<std::size_t>(n - 1)].Offset);
    }
    list->PositionAtLast();
    EXPECT_EQ(list->Storage()->Position(), info.Pages[4].Offset);
}

// A save that cannot be completed (here the file size limit stops it half-way, as a
// full disk would) fails and leaves the report that was there whole.
TEST(PageListFile, AFailedSaveLeavesThePreviousFileWhole)
{
    TTempDir dir;
    const std::string path = dir / "r.qrp";
    BuildReport(2, false, 100)->CopyToFile(path);
    const auto before = ReadAll(path);
    auto big = BuildReport(40, false);
    const auto whole = static_cast<rlim_t>(StreamBytes(*big).size());
    ASSERT_GT(whole, 2 * before.size());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {whole / 2, whole / 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            big->CopyToFile(path);
        } catch (const EError&) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the save must fail";
    EXPECT_EQ(ReadAll(path), before);
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1) << "nothing is left beside the report";
}

TEST(PageListFile, SaveOpenAndWalkAfterCopyToFile)
{
    TTempDir dir;
    for (const bool compressed : {false, true}) {
        auto list = BuildReport(7, compressed, 1000);
        const std::string path = dir / (compressed ? "c.qrp" : "u.qrp");
        list->CopyToFile(path);
        EXPECT_EQ(list->Storage()->Position(), list->Storage()->Size());
        EXPECT_EQ(ReadAll(path), StreamBytes(*list));
        // After the copy the stream stands at its end: a middle page starts from the
        // last record and walks backward.
        list->CopyToFile(path);
        ExpectPage(*list, 4);
        list->CopyToFile(path);
        ExpectPage(*list, 2);

        TQRPageList loaded;
        loaded.SetCompressed(!compressed); // the file's header decides
        loaded.OpenFile(path);
        EXPECT_EQ(loaded.Count(), 7);
        EXPECT_EQ(loaded.Compressed(), compressed);
        EXPECT_EQ(loaded.LastHeaderSize(), 128);
        EXPECT_EQ(loaded.Storage()->Position(), 128) << "ReadHeader leaves the stream at the first record";
        ExpectEveryOrder(loaded, 7);
        loaded.CopyToFile(dir / "again.qrp");
        EXPECT_EQ(ReadAll(dir / "again.qrp"), ReadAll(path));
        ExpectPage(loaded, 5);
    }
}

TEST(PageListFile, CompressedSwitchFollowsTheHeaderByteExactly)
{
    TTempDir dir;
    auto list = BuildReport(2, false);
    list->CopyToFile(dir / "p.qrp");
    auto bytes = ReadAll(dir / "p.qrp");
    for (const std::uint8_t flag : {0, 2, 255}) {
        bytes[25] = flag;
        WriteAll(dir / "f.qrp", bytes);
        TQRPageList l;
        l.SetCompressed(true);
        l.OpenFile(dir / "f.qrp");
        EXPECT_FALSE(l.Compressed()) << int(flag);
        ExpectPage(l, 2);
    }
    // Switched on by hand, a plain file fails at its page with the picture error.
    TQRPageList l;
    l.OpenFile(dir / "p.qrp");
    l.SetCompressed(true);
    EXPECT_THROW(l.ReadPage(1), EError);
}

TEST(PageListFile, SavingALoadedReportOntoItsOwnFileKeepsIt)
{
    TTempDir dir;
    auto list = BuildReport(3, true);
    list->CopyToFile(dir / "r.qrp");
    const auto before = ReadAll(dir / "r.qrp");
    TQRPageList loaded;
    loaded.OpenFile(dir / "r.qrp");
    loaded.CopyToFile(dir / "r.qrp");
    EXPECT_EQ(ReadAll(dir / "r.qrp"), before);
    ExpectEveryOrder(loaded, 3);
}

TEST(PageListFile, OpenFailuresKeepTheCount)
{
    TTempDir dir;
    TQRPageList l;
    auto src = BuildReport(3, false);
    src->CopyToFile(dir / "ok.qrp");
    l.OpenFile(dir / "ok.qrp");
    EXPECT_EQ(l.Count(), 3);
    EXPECT_THROW(l.OpenFile(dir / "missing.qrp"), EFOpenError);
    EXPECT_EQ(l.Storage(), nullptr);
    EXPECT_EQ(l.Count(), 3);
    // A report with no pages is only a header: too short to open.
    auto empty = BuildReport(0, false);
    empty->CopyToFile(dir / "empty.qrp");
    try {
        l.OpenFile(dir / "empty.qrp");
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_NE(l.Storage(), nullptr);
    EXPECT_EQ(l.Count(), 3);
}

TEST(PageListOlderLayout, DetectedUpgradedReadAndSavedUnchanged)
{
    TTempDir dir;
    const auto file = OlderLayoutFile(4, 4, 40000.25);
    WriteAll(dir / "old.qrp", file);
    {
        auto s = TQRStream::OpenExisting(dir / "old.qrp");
        s->SetPosition(33);
        EXPECT_EQ(HeaderSizeOf(*s), 124);
        EXPECT_EQ(s->Position(), 33) << "HeaderSizeOf keeps the position";
        TSavedReportHeader h;
        s->SetPosition(0);
        s->ReadBuffer(h.Bytes.data(), 124);
        UpgradeHeader(*s, h);
        EXPECT_EQ(h.LayoutVersion(), 3);
        EXPECT_EQ(h.WriterVersion(), 309);
        EXPECT_EQ(h.Bytes[4], 0xA1);
        EXPECT_EQ(h.PagesInFile(), 4);
        EXPECT_EQ(h.WrittenAt(), 40000.25);
        EXPECT_EQ(h.Bytes[24], 0xB2);
        EXPECT_EQ(h.CompressedPages(), 0);
        for (int i = 0; i < 101; ++i)
            ASSERT_EQ(h.Bytes[static_cast<std::size_t>(26 + i)], 22 + i);
    }
    TQRPageList l;
    l.OpenFile(dir / "old.qrp");
    EXPECT_EQ(l.LastHeaderSize(), 124);
    EXPECT_EQ(l.Count(), 4);
    EXPECT_EQ(l.Storage()->Position(), 124);
    ExpectEveryOrder(l, 4);
    l.CopyToFile(dir / "copy.qrp");
    EXPECT_EQ(ReadAll(dir / "copy.qrp"), file) << "an older file is saved in the older layout";

    // Our own files are never taken for the older layout.
    auto ours = BuildReport(1, false);
    ours->Storage()->SetPosition(0);
    EXPECT_EQ(HeaderSizeOf(*ours->Storage()), 128);
    TSavedReportHeader h;
    h.Bytes[16] = 0x77;
    UpgradeHeader(*ours->Storage(), h);
    EXPECT_EQ(h.Bytes[16], 0x77) << "a header of the written layout stays as it is";
}

TEST(ReportFileInfo, DescribesEveryRecord)
{
    for (const bool compressed : {false, true}) {
        auto list = BuildReport(3, compressed);
        list->Storage()->SetPosition(0);
        const auto info = ReadReportFileInfo(*list->Storage());
        EXPECT_EQ(info.HeaderSize, 128);
        EXPECT_EQ(info.Compressed, compressed);
        EXPECT_EQ(info.Header.PagesInFile(), 3);
        EXPECT_EQ(info.Header.WrittenAt(), kJan2000);
        ASSERT_EQ(info.Pages.size(), 3u);
        std::int64_t at = 128;
        for (int k = 1; k <= 3; ++k) {
            const auto& r = info.Pages[static_cast<std::size_t>(k - 1)];
            const auto image = PageImage(k);
            EXPECT_EQ(r.PageNo, k);
            EXPECT_EQ(r.Offset, at);
            const std::int64_t data = compressed ? static_cast<std::int64_t>(CodeOf(image).size())
                                                 : static_cast<std::int64_t>(image.size());
            EXPECT_EQ(r.DataLength, data);
            EXPECT_EQ(r.ExpandedSize, compressed ? static_cast<std::int32_t>(image.size()) : -1);
            ASSERT_TRUE(r.EmfValid);
            EXPECT_EQ(r.Emf.Bytes, image.size());
            EXPECT_EQ(r.Emf.Frame.Right, 20999 + k);
            at = r.NextRecord;
        }
        EXPECT_EQ(at, info.FileSize);
    }
}
