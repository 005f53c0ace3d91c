#include "tests/support/TestFiles.h"

#include "base/Errors.h"
#include "base/Stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

using namespace qrp;
using qrp::test::Pattern;
using qrp::test::TTempDir;
using qrp::test::WriteAll;

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
