#include "TestEmf.h"

#include "base/Errors.h"
#include "base/Stream.h"
#include "storage/QRStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <random>

#include <fcntl.h>
#include <unistd.h>

using namespace qrp;
using qrp::test::ReadAll;
using qrp::test::TTempDir;
using qrp::test::WriteAll;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint32_t seed = 7)
{
    std::vector<std::uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}

std::vector<std::uint8_t> ReadBack(TStream& s, std::int64_t from, std::int64_t count)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
    s.SetPosition(from);
    s.ReadBuffer(out.data(), count);
    return out;
}

// Counts the writes it receives.
class TCountingStream : public TMemoryStream {
public:
    std::int64_t Write(const void* buffer, std::int64_t count) override
    {
        ++writes;
        return TMemoryStream::Write(buffer, count);
    }
    int writes = 0;
};

} // namespace

TEST(MemoryStream, ReadWriteSeekAndShortReads)
{
    TMemoryStream m;
    const auto data = Pattern(1000);
    m.WriteBuffer(data.data(), 1000);
    EXPECT_EQ(m.Position(), 1000);
    EXPECT_EQ(m.Size(), 1000);
    EXPECT_EQ(m.Position(), 1000) << "Size must not move the position";
    std::uint8_t buf[64];
    EXPECT_EQ(m.Read(buf, 10), 0) << "reading at the end returns nothing and does not fail";
    EXPECT_EQ(m.Seek(-10, soEnd), 990);
    EXPECT_EQ(m.Read(buf, 64), 10);
    EXPECT_EQ(0, std::memcmp(buf, data.data() + 990, 10));
    EXPECT_THROW(m.ReadBuffer(buf, 1), EStreamError);
    m.SetPosition(995);
    try {
        m.ReadBuffer(buf, 6);
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    // Writing past the end extends with zeros.
    m.SetPosition(1010);
    m.WriteValue<std::uint8_t>(9);
    EXPECT_EQ(m.Size(), 1011);
    EXPECT_EQ(m.Memory()[1005], 0);
    // Overwriting inside does not grow.
    m.SetPosition(5);
    m.WriteValue<std::uint32_t>(0xAABBCCDD);
    EXPECT_EQ(m.Size(), 1011);
    EXPECT_EQ(m.Seek(3, soCurrent), 12);
}

#if defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define QRP_SANITIZED_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define QRP_SANITIZED_ALLOCATOR 1
#endif

TEST(MemoryStream, HugeGrowthFailsWithTheOutOfMemoryText)
{
#ifdef QRP_SANITIZED_ALLOCATOR
    GTEST_SKIP() << "sanitizer allocators abort on impossible sizes instead of failing";
#endif
    TMemoryStream m;
    try {
        m.SetSize(std::int64_t(1) << 62);
        FAIL();
    } catch (const EOutOfMemory& e) {
        EXPECT_STREQ(e.what(), "Out of memory while expanding memory stream");
    }
    EXPECT_EQ(m.DataSize(), 0);
}

TEST(FileStream, OpenAndCreateFailuresNameTheFullPathAndReason)
{
    TTempDir dir;
    const std::string missing = dir / "nope.qrp";
    try {
        TFileStream f(missing, TFileStream::Mode::OpenReadShared);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    // A relative name is reported with its full path.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    try {
        TFileStream f("rel.qrp", TFileStream::Mode::OpenReadShared);
        ADD_FAILURE();
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("\"" + dir.Path() + "/rel.qrp\""), std::string::npos) << e.what();
    }
    std::filesystem::current_path(cwd);
    try {
        TFileStream f(dir / "no/such/dir.qrp", TFileStream::Mode::CreateReadWrite);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + (dir / "no/such/dir.qrp") + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(dir.Path(), TFileStream::Mode::OpenReadShared), EFOpenError)
        << "a folder is not a file";
}

TEST(FileStream, ReadAheadGivesTheSameBytesAsAPlainModel)
{
    TTempDir dir;
    const auto data = Pattern(300000, 3);
    WriteAll(dir / "f.bin", data);
    TFileStream f(dir / "f.bin", TFileStream::Mode::OpenReadShared);
    EXPECT_EQ(f.Size(), 300000);
    std::mt19937 rng(11);
    std::int64_t pos = 0;
    std::vector<std::uint8_t> buf(200000);
    for (int i = 0; i < 5000; ++i) {
        const int op = rng() % 4;
        if (op == 0) {
            pos = rng() % 310000;
            f.SetPosition(pos);
        } else {
            const std::int64_t want = op == 1 ? 1 : op == 2 ? rng() % 300 : rng() % 120000;
            const std::int64_t got = f.Read(buf.data(), want);
            const std::int64_t expect = std::max<std::int64_t>(0, std::min<std::int64_t>(want, 300000 - pos));
            ASSERT_EQ(got, expect) << "at " << pos;
            ASSERT_EQ(0, std::memcmp(buf.data(), data.data() + pos, static_cast<std::size_t>(got)));
            pos += got;
        }
        ASSERT_EQ(f.Position(), pos);
    }
    // Byte-by-byte reading across buffer refills.
    f.SetPosition(0);
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::uint8_t b;
        ASSERT_EQ(f.Read(&b, 1), 1);
        ASSERT_EQ(b, data[i]) << i;
    }
    std::uint8_t b;
    EXPECT_EQ(f.Read(&b, 1), 0);
}

TEST(FileStream, WritesAreSeenByLaterReadsAndOpenReadIsReadOnly)
{
    TTempDir dir;
    {
        TFileStream f(dir / "w.bin", TFileStream::Mode::CreateReadWrite);
        const auto data = Pattern(5000);
        f.WriteBuffer(data.data(), 5000);
        f.SetPosition(10);
        std::uint8_t b[4];
        f.ReadBuffer(b, 4); // fills the read-ahead
        f.SetPosition(12);
        f.WriteValue<std::uint32_t>(0x01020304);
        f.SetPosition(12);
        EXPECT_EQ(f.ReadValue<std::uint32_t>(), 0x01020304u);
        EXPECT_EQ(f.Size(), 5000);
    }
    {
        TFileStream again(dir / "w.bin", TFileStream::Mode::CreateReadWrite);
        EXPECT_EQ(again.Size(), 0) << "creating discards earlier content";
    }
    TFileStream r(dir / "w.bin", TFileStream::Mode::OpenReadShared);
    EXPECT_THROW(r.WriteValue<std::uint32_t>(1), EStreamError);
    // Others may write the file while it is open for reading.
    const int fd = ::open((dir / "w.bin").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "abc", 3), 3);
    ::close(fd);
    EXPECT_EQ(r.Size(), 3);
}

TEST(QRStream, StaysInMemoryUpToTheLimitAndSpillsOnTheFirstByteBeyond)
{
    const auto data = Pattern(100001);
    TQRStream s(100000);
    s.WriteBuffer(data.data(), 99999);
    s.WriteBuffer(data.data() + 99999, 1);
    EXPECT_TRUE(s.Resident());
    EXPECT_EQ(s.Size(), 100000);
    EXPECT_TRUE(s.SpillPath().empty());
    // Overwriting inside the data does not grow it and never spills.
    s.SetPosition(50);
    s.WriteBuffer(data.data() + 50, 1000);
    EXPECT_TRUE(s.Resident());
    s.Seek(0, soEnd);
    s.WriteBuffer(data.data() + 100000, 1);
    EXPECT_FALSE(s.Resident());
    const std::string spill = s.SpillPath();
    ASSERT_FALSE(spill.empty());
    EXPECT_EQ(std::filesystem::path(spill).filename().string().rfind("QRP", 0), 0u);
    EXPECT_EQ(s.Position(), 100001) << "the position stays at the end after the spill";
    EXPECT_EQ(ReadAll(spill), data) << "the temporary file holds every byte written";
    EXPECT_EQ(ReadBack(s, 0, 100001), data);
    // No limit any more.
    s.Seek(0, soEnd);
    s.WriteBuffer(data.data(), 100001);
    EXPECT_FALSE(s.Resident());
    EXPECT_EQ(s.Size(), 200002);
}

TEST(QRStream, SpillKeepsThePositionOfTheWriteThatCausedIt)
{
    TQRStream s(10);
    const auto data = Pattern(40);
    s.WriteBuffer(data.data(), 8);
    s.SetPosition(4);
    s.WriteBuffer(data.data() + 4, 20); // ends at 24: grows past the limit
    EXPECT_FALSE(s.Resident());
    EXPECT_EQ(s.Position(), 24);
    EXPECT_EQ(ReadBack(s, 0, 24), std::vector<std::uint8_t>(data.begin(), data.begin() + 24));
}

TEST(QRStream, SpillFileLivesInTmpdirAndIsRemovedWithTheStream)
{
    TTempDir dir;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    std::string spill;
    {
        TQRStream s(0);
        s.WriteValue<std::uint8_t>(1);
        spill = s.SpillPath();
        EXPECT_EQ(std::filesystem::path(spill).parent_path().string(), dir.Path());
        EXPECT_TRUE(std::filesystem::exists(spill));
        const std::string other = NewSpillFileName();
        EXPECT_NE(other, spill);
        EXPECT_EQ(std::filesystem::file_size(other), 0u);
        std::filesystem::remove(other);
    }
    EXPECT_FALSE(std::filesystem::exists(spill));
    {
        TQRStream resident(1000);
        resident.WriteValue<std::uint32_t>(5);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "a resident stream touches no file";
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

TEST(QRStream, FailedSpillKeepsEverythingInMemoryAndRetries)
{
    TTempDir dir;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", (dir / "missing").c_str(), 1);
    TQRStream s(4);
    const auto data = Pattern(16);
    s.WriteBuffer(data.data(), 4);
    try {
        s.WriteBuffer(data.data() + 4, 4);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + (dir / "missing"), 0), 0u) << e.what();
    }
    EXPECT_TRUE(s.Resident());
    EXPECT_EQ(s.Size(), 8) << "the failed write's bytes are kept";
    std::filesystem::create_directory(dir / "missing");
    s.Seek(0, soEnd);
    s.WriteBuffer(data.data() + 8, 8);
    EXPECT_FALSE(s.Resident());
    EXPECT_EQ(ReadBack(s, 0, 16), data);
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

TEST(QRStream, OpenExistingReadsInPlaceAndLeavesTheFileAlone)
{
    TTempDir dir;
    const auto data = Pattern(30000);
    WriteAll(dir / "r.qrp", data);
    {
        auto s = TQRStream::OpenExisting(dir / "r.qrp");
        EXPECT_FALSE(s->Resident());
        EXPECT_EQ(s->ResidentLimit(), 0);
        EXPECT_TRUE(s->SpillPath().empty());
        EXPECT_EQ(s->Position(), 0);
        EXPECT_EQ(ReadBack(*s, 100, 50), std::vector<std::uint8_t>(data.begin() + 100, data.begin() + 150));
        std::uint8_t b;
        s->Seek(0, soEnd);
        EXPECT_EQ(s->Read(&b, 1), 0);
        EXPECT_THROW(s->WriteValue<std::uint8_t>(1), EStreamError);
    }
    EXPECT_EQ(ReadAll(dir / "r.qrp"), data);
    EXPECT_THROW(TQRStream::OpenExisting(dir / "none.qrp"), EFOpenError);
}

TEST(QRStream, FilesOf2GiBOrMoreAreRefused)
{
    TTempDir dir;
    for (const std::int64_t size : {std::int64_t(0x7FFFFFFF), std::int64_t(0x80000000)}) {
        const std::string path = dir / "big.qrp";
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0); // sparse
        ::close(fd);
        if (size <= TQRStream::MaxSize) {
            EXPECT_NO_THROW(TQRStream::OpenExisting(path));
        } else {
            try {
                TQRStream::OpenExisting(path);
                ADD_FAILURE();
            } catch (const EReportFormatError& e) {
                EXPECT_NE(std::string(e.what()).find("2 GiB"), std::string::npos) << e.what();
            }
        }
    }
}

TEST(QRStream, DumpToCopiesEverythingInChunksAndEndsAtTheEnd)
{
    for (const std::int64_t size : {0, 1, 10240, 10241, 150000}) {
        TQRStream s(100000);
        const auto data = Pattern(static_cast<std::size_t>(size), 5);
        s.WriteBuffer(data.data(), size);
        s.SetPosition(size / 2);
        TCountingStream target;
        s.DumpTo(target);
        EXPECT_EQ(target.TakeBytes(), data) << size;
        EXPECT_EQ(target.writes, (size + 10239) / 10240) << size;
        EXPECT_EQ(s.Position(), size);
    }
}
