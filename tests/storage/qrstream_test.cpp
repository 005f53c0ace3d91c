#include "tests/support/TestFiles.h"

#include "base/Errors.h"
#include "base/Stream.h"
#include "storage/QRStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

using namespace qrp;
using qrp::test::Pattern;
using qrp::test::ReadAll;
using qrp::test::TTempDir;
using qrp::test::WriteAll;

namespace {

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
        RemoveSpillFile(other);
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
