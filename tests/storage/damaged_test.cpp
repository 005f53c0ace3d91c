#include "ReportBuilder.h"

#include "base/Errors.h"
#include "storage/QRStream.h"
#include "storage/ReportFileInfo.h"

#include <gtest/gtest.h>

#include <random>

using namespace qrp;
using namespace qrp::test;

namespace {

struct TSaved {
    TTempDir dir;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int32_t> starts; // record starts
};

void Save(TSaved& s, int pages, bool compressed)
{
    auto list = BuildReport(pages, compressed);
    list->CopyToFile(s.dir / "good.qrp");
    s.bytes = ReadAll(s.dir / "good.qrp");
    std::int32_t at = 128;
    for (int k = 0; k < pages; ++k) {
        s.starts.push_back(at);
        at = GetI32(s.bytes, static_cast<std::size_t>(at) + 4);
    }
}

void Put(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v) { PutU32(b, at, static_cast<std::uint32_t>(v)); }

// Opens the bytes as a saved report and reads every page in several orders. Every
// page either comes back or fails with one of the system's errors; nothing else.
// Returns the number of pages that failed.
int ReadEverything(const std::string& path, const std::vector<std::uint8_t>& bytes, bool* opened = nullptr)
{
    WriteAll(path, bytes);
    TQRPageList l;
    try {
        l.OpenFile(path);
    } catch (const EError&) {
        if (opened)
            *opened = false;
        return -1;
    }
    if (opened)
        *opened = true;
    int failed = 0;
    const int count = std::min(l.Count(), 50);
    std::vector<int> order;
    for (int n = 1; n <= count; ++n)
        order.push_back(n);
    for (int n = count; n >= 1; --n)
        order.push_back(n);
    for (int n = 1; n <= count; n += 2)
        order.push_back(count + 1 - n);
    for (const bool compressed : {l.Compressed(), !l.Compressed()}) {
        l.SetCompressed(compressed);
        for (int n : order) {
            try {
                l.ReadPage(n);
            } catch (const EError&) {
                ++failed;
            }
        }
    }
    return failed;
}

} // namespace

TEST(DamagedFile, EveryTruncationFailsCleanly)
{
    for (const bool compressed : {false, true}) {
        TSaved s;
        Save(s, 3, compressed);
        for (std::size_t len = 0; len < s.bytes.size(); ++len) {
            const std::vector<std::uint8_t> cut(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(len));
            bool opened = false;
            const int failed = ReadEverything(s.dir / "cut.qrp", cut, &opened);
            if (len < 181) {
                EXPECT_FALSE(opened) << len;
            }
            if (opened) {
                EXPECT_GT(failed, 0) << "a truncated file cannot give every page back, len " << len;
            }
        }
    }
}

// A file cut short fails on every page the cut took with the first fault of its
// records, the fault the file's description gives, whichever way the walk to the page
// went; the pages before the cut still read.
TEST(DamagedFile, CutShortFailsWithTheRecordsFirstFault)
{
    for (const bool compressed : {false, true}) {
        TSaved s;
        Save(s, 4, compressed);
        for (const int cutPage : {1, 3, 4}) {
            const std::size_t start = static_cast<std::size_t>(s.starts[cutPage - 1]);
            const std::size_t end = cutPage < 4 ? static_cast<std::size_t>(s.starts[cutPage]) : s.bytes.size();
            // Half of the record (past the bytes that tell the header's layout, page 1's
            // EMF signature), and all of it but its last byte.
            for (const std::size_t into : {(end - start) / 2, end - start - 1}) {
                ASSERT_GT(into, 60u);
                const std::size_t len = start + into;
                const std::vector<std::uint8_t> cut(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(len));
                const std::string path = s.dir / "cut.qrp";
                WriteAll(path, cut);
                std::string described;
                try {
                    auto stream = TQRStream::OpenExisting(path);
                    ReadReportFileInfo(*stream);
                    ADD_FAILURE() << "a cut file described as sound";
                } catch (const EReportFormatError& e) {
                    described = e.what();
                }
                // Last page first (a walk from the end), then front to back.
                TQRPageList l;
                l.OpenFile(path);
                for (const int n : {4, 1, 2, 3, 4}) {
                    const std::string where = std::to_string(compressed) + " cut in page " +
                                              std::to_string(cutPage) + "+" + std::to_string(into) +
                                              ", page " + std::to_string(n);
                    if (n < cutPage) {
                        EXPECT_TRUE(l.ReadPage(n)) << where;
                        continue;
                    }
                    try {
                        l.ReadPage(n);
                        ADD_FAILURE() << where;
                    } catch (const EReportFormatError& e) {
                        EXPECT_EQ(e.what(), described) << where;
                    } catch (const std::exception& e) {
                        ADD_FAILURE() << where << ": " << e.what();
                    }
                }
            }
        }
    }
}

TEST(DamagedFile, LinksOutsideTheStreamOrAgainstTheWalkStopWithAnError)
{
    for (const bool compressed : {false, true}) {
        TSaved s;
        Save(s, 5, compressed);
        const auto size = static_cast<std::int32_t>(s.bytes.size());
        const auto nextOf = [&](int k) { return static_cast<std::size_t>(s.starts[static_cast<std::size_t>(k - 1)]) + 4; };
        const auto thisOf = [&](int k) {
            return static_cast<std::size_t>(GetI32(s.bytes, nextOf(k))) - 4;
        };
        // Forward link damage: page 2 reached from page 1 via record 1's NextRecord.
        for (const std::int32_t bad : {-1, 0, s.starts[0], s.starts[0] - 8, size, size + 100, 0x7FFFFFFF,
                                       static_cast<std::int32_t>(0x80000000)}) {
            auto b = s.bytes;
            Put(b, nextOf(1), bad);
            WriteAll(s.dir / "f.qrp", b);
            TQRPageList l;
            l.OpenFile(s.dir / "f.qrp");
            try {
                l.ReadPage(1); // compressed: the link also bounds page 1's code bytes
            } catch (const EReportFormatError&) {
            }
            try {
                l.PositionAtFirst();
                l.ReadPage(3); // walks forward from record 1 through the damaged link
                ADD_FAILURE() << "link " << bad;
            } catch (const EError&) {
            }
            // The list is still usable for pages whose links are sound.
            auto last = l.ReadPage(5);
            ASSERT_TRUE(last);
            EXPECT_EQ(last->Bytes(), PageImage(5));
        }
        // Backward link damage: page 4's ThisRecord, used when walking back from page 5.
        for (const std::int32_t bad : {-1, s.starts[4], s.starts[4] + 4, size, s.starts[3] + 1}) {
            auto b = s.bytes;
            Put(b, thisOf(4), bad);
            WriteAll(s.dir / "b.qrp", b);
            TQRPageList l;
            l.OpenFile(s.dir / "b.qrp");
            ASSERT_TRUE(l.ReadPage(5));
            EXPECT_EQ(l.Storage()->Position(), size);
            // At the end: a middle page starts from the last record and walks back.
            EXPECT_THROW(l.ReadPage(3), EReportFormatError) << "link " << bad;
            ASSERT_TRUE(l.ReadPage(1));
            EXPECT_TRUE(l.ReadPage(3)) << "forward from page 2 needs no backward link";
        }
        // The last four bytes pointing anywhere but a record.
        for (const std::int32_t bad : {-4, size - 4, size, 0x7FFFFFF0}) {
            auto b = s.bytes;
            Put(b, b.size() - 4, bad);
            WriteAll(s.dir / "l.qrp", b);
            TQRPageList l;
            l.OpenFile(s.dir / "l.qrp");
            EXPECT_THROW(l.ReadPage(5), EReportFormatError) << bad;
            EXPECT_TRUE(l.ReadPage(2));
        }
    }
}

TEST(DamagedFile, LinkLoopsAndWrongPageNumbersEndTheWalk)
{
    TSaved s;
    Save(s, 6, false);
    // Record 3 links back to record 2: a forward loop.
    {
        auto b = s.bytes;
        Put(b, static_cast<std::size_t>(s.starts[2]) + 4, s.starts[1]);
        WriteAll(s.dir / "loop.qrp", b);
        TQRPageList l;
        l.OpenFile(s.dir / "loop.qrp");
        ASSERT_TRUE(l.ReadPage(1));
        EXPECT_THROW(l.ReadPage(5), EReportFormatError);
    }
    // Record 4 says it is page 9: page 4 is never found, and other pages are found
    // unless the walk has to read past it.
    {
        auto b = s.bytes;
        Put(b, static_cast<std::size_t>(s.starts[3]), 9);
        WriteAll(s.dir / "num.qrp", b);
        TQRPageList l;
        l.OpenFile(s.dir / "num.qrp");
        EXPECT_THROW(l.ReadPage(4), EReportFormatError);
        ASSERT_TRUE(l.ReadPage(2));
        EXPECT_TRUE(l.ReadPage(3));
        EXPECT_TRUE(l.ReadPage(6));
    }
    // Every record saying page 2: the walk stops after Count + 1 steps at most.
    {
        auto b = s.bytes;
        for (auto at : s.starts)
            Put(b, static_cast<std::size_t>(at), 1);
        WriteAll(s.dir / "same.qrp", b);
        TQRPageList l;
        l.OpenFile(s.dir / "same.qrp");
        EXPECT_THROW(l.ReadPage(3), EReportFormatError);
    }
    // A header claiming far more pages than there are.
    {
        auto b = s.bytes;
        Put(b, 8, 0x7FFFFFFF);
        WriteAll(s.dir / "many.qrp", b);
        TQRPageList l;
        l.OpenFile(s.dir / "many.qrp");
        EXPECT_THROW(l.ReadPage(1000), EReportFormatError);
        EXPECT_TRUE(l.ReadPage(2));
    }
}

TEST(DamagedFile, BadImagesAndSizesFailBeforeAllocating)
{
    for (const bool compressed : {false, true}) {
        TSaved s;
        Save(s, 3, compressed);
        const std::size_t data = static_cast<std::size_t>(s.starts[1]) + (compressed ? 12 : 8);
        if (!compressed) {
            auto b = s.bytes;
            b[data + 41] = 'X'; // signature
            WriteAll(s.dir / "sig.qrp", b);
            TQRPageList l;
            l.OpenFile(s.dir / "sig.qrp");
            try {
                l.ReadPage(2);
                ADD_FAILURE();
            } catch (const EInvalidGraphic& e) {
                EXPECT_STREQ(e.what(), "Metafile is not valid");
            }
            EXPECT_TRUE(l.ReadPage(3)) << "a failed read leaves the list usable";
            EXPECT_TRUE(l.ReadPage(1));
            for (const std::uint32_t length : {0xFFFFFFF0u, 0x7FFFFFFFu, 4u}) {
                b = s.bytes;
                PutU32(b, data + 48, length);
                WriteAll(s.dir / "len.qrp", b);
                TQRPageList m;
                m.OpenFile(s.dir / "len.qrp");
                EXPECT_THROW(m.ReadPage(2), EInvalidGraphic) << length;
            }
        } else {
            for (const std::int32_t expanded : {-1, static_cast<std::int32_t>(0x80000000), 0x7FFFFFFF,
                                                 8 * (GetI32(s.bytes, static_cast<std::size_t>(s.starts[1]) + 4) -
                                                      s.starts[1] - 16) + 1}) {
                auto b = s.bytes;
                Put(b, data - 4, expanded);
                WriteAll(s.dir / "exp.qrp", b);
                TQRPageList l;
                l.OpenFile(s.dir / "exp.qrp");
                EXPECT_THROW(l.ReadPage(2), EReportFormatError) << expanded;
                EXPECT_TRUE(l.ReadPage(1));
            }
            // Scrambled code: wrong bytes, then the picture's check.
            auto b = s.bytes;
            for (std::size_t i = data; i < data + 20; ++i)
                b[i] ^= 0x5A;
            WriteAll(s.dir / "code.qrp", b);
            TQRPageList l;
            l.OpenFile(s.dir / "code.qrp");
            EXPECT_THROW(l.ReadPage(2), EError);
        }
    }
}

TEST(DamagedFile, RandomDamageNeverEscapesTheErrors)
{
    for (const bool compressed : {false, true}) {
        TSaved s;
        Save(s, 4, compressed);
        std::mt19937 rng(compressed ? 99 : 98);
        for (int round = 0; round < 300; ++round) {
            auto b = s.bytes;
            const int hits = 1 + static_cast<int>(rng() % 4);
            for (int h = 0; h < hits; ++h) {
                const std::size_t at = rng() % b.size();
                if (rng() % 2)
                    b[at] = static_cast<std::uint8_t>(rng());
                else if (at + 4 <= b.size())
                    Put(b, at, static_cast<std::int32_t>(rng() % (b.size() + 64)) - 32);
            }
            ReadEverything(s.dir / "r.qrp", b);
        }
    }
}
