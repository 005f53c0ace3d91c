// qrptool's report subcommands, run as the built program: info, extract and make.
#include "tests/storage/ReportBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include <sys/wait.h>

using namespace qrp;
using namespace qrp::test;

namespace {

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TRun Qrptool(const TTempDir& dir, const std::vector<std::string>& args)
{
    std::string cmd = Quote(QRPTOOL_PATH);
    for (const auto& a : args)
        cmd += " " + Quote(a);
    cmd += " >" + Quote(dir / "stdout.txt") + " 2>" + Quote(dir / "stderr.txt") + " </dev/null";
    const int raw = std::system(cmd.c_str());
    TRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    const auto o = ReadAll(dir / "stdout.txt");
    const auto e = ReadAll(dir / "stderr.txt");
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

// The last line on stderr (the toolkit may print notices of its own before it).
std::string LastLine(const std::string& s)
{
    std::string t = s;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const auto nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

std::vector<std::string> WriteEmfs(const TTempDir& dir, int count)
{
    std::vector<std::string> paths;
    for (int k = 1; k <= count; ++k) {
        paths.push_back(dir / ("p" + std::to_string(k) + ".emf"));
        WriteAll(paths.back(), PageImage(k));
    }
    return paths;
}

// Only the files named remain in the folder (no temporary output left behind).
void ExpectOnlyFiles(const TTempDir& dir, std::set<std::string> names)
{
    names.insert("stdout.txt");
    names.insert("stderr.txt");
    std::set<std::string> seen;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        seen.insert(e.path().filename().string());
    EXPECT_EQ(seen, names);
}

} // namespace

TEST(QrptoolMake, BuildsTheSameReportAsPageProduction)
{
    for (const bool compressed : {false, true}) {
        TTempDir dir;
        std::vector<std::string> args = {"make", dir / "out.qrp"};
        if (compressed)
            args.push_back("--compress");
        for (const auto& p : WriteEmfs(dir, 5))
            args.push_back(p);
        const auto r = Qrptool(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        auto made = ReadAll(dir / "out.qrp");
        auto list = BuildReport(5, compressed);
        auto expect = StreamBytes(*list);
        ASSERT_EQ(made.size(), expect.size());
        // Apart from the moment of writing, byte for byte.
        std::fill(made.begin() + 16, made.begin() + 24, 0);
        std::fill(expect.begin() + 16, expect.begin() + 24, 0);
        EXPECT_EQ(made, expect);
    }
}

TEST(QrptoolMake, FailuresLeaveNoOutput)
{
    TTempDir dir;
    const auto emfs = WriteEmfs(dir, 2);
    WriteAll(dir / "junk.emf", std::vector<std::uint8_t>(300, 7));
    auto r = Qrptool(dir, {"make", dir / "out.qrp", emfs[0], dir / "junk.emf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(LastLine(r.err).find("Metafile is not valid"), std::string::npos) << r.err;
    r = Qrptool(dir, {"make", dir / "out.qrp", emfs[0], dir / "missing.emf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(LastLine(r.err),
              "qrptool make: Cannot open file \"" + (dir / "missing.emf") + "\". No such file or directory");
    r = Qrptool(dir, {"make", dir / "out.qrp"});
    EXPECT_EQ(r.status, 1);
    r = Qrptool(dir, {"make", emfs[1], emfs[0], emfs[1]});
    EXPECT_EQ(r.status, 1) << "the output may not be one of the inputs";
    EXPECT_EQ(ReadAll(emfs[1]), PageImage(2));
    ExpectOnlyFiles(dir, {"p1.emf", "p2.emf", "junk.emf"});
}

TEST(QrptoolInfo, JsonDescribesHeaderAndRecords)
{
    TTempDir dir;
    auto list = BuildReport(3, false);
    list->CopyToFile(dir / "r.qrp");
    auto r = Qrptool(dir, {"info", dir / "r.qrp", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ostringstream expect;
    expect << "{\"header_size\": 128, \"pages_in_file\": 3, \"compressed\": false, "
              "\"written_at\": \"2000-01-01T00:00:00.000\", \"pages\": [";
    std::int64_t at = 128;
    for (int k = 1; k <= 3; ++k) {
        const auto L = PageImage(k).size();
        expect << (k > 1 ? ", " : "") << "{\"page\": " << k << ", \"offset\": " << at << ", \"data_length\": " << L
               << ", \"emf_length\": " << L << ", \"frame\": [0, 0, " << 20999 + k << ", 29699]}";
        at += 12 + static_cast<std::int64_t>(L);
    }
    expect << "]}\n";
    EXPECT_EQ(r.out, expect.str());

    // Compressed: data_length counts the code bytes.
    auto packed = BuildReport(2, true);
    packed->SetClock([] { return EncodeDateTime({2001, 2, 3, 4, 5, 6, 789}); });
    packed->Complete();
    packed->CopyToFile(dir / "c.qrp");
    r = Qrptool(dir, {"info", dir / "c.qrp", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bytes = ReadAll(dir / "c.qrp");
    const std::int32_t next1 = GetI32(bytes, 132);
    const std::regex re("\\{\"header_size\": 128, \"pages_in_file\": 2, \"compressed\": true, "
                        "\"written_at\": \"2001-02-03T04:05:06.789\", \"pages\": \\[\\{\"page\": 1, \"offset\": 128, "
                        "\"data_length\": " + std::to_string(next1 - 128 - 16) +
                        ", \"emf_length\": " + std::to_string(PageImage(1).size()) +
                        ", \"frame\": \\[0, 0, 21000, 29699\\]\\}, \\{\"page\": 2, \"offset\": " +
                        std::to_string(next1) + ", .*\\}\\]\\}\n");
    EXPECT_TRUE(std::regex_match(r.out, re)) << r.out;

    r = Qrptool(dir, {"info", dir / "r.qrp"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("PagesInFile: 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2000-01-01T00:00:00.000"), std::string::npos) << r.out;
}

TEST(QrptoolInfo, OlderLayoutAndDamagedFiles)
{
    TTempDir dir;
    auto list = BuildReport(2, false);
    list->CopyToFile(dir / "r.qrp");
    auto bytes = ReadAll(dir / "r.qrp");
    // The same report in the older layout: header 124 bytes, records 4 bytes earlier.
    std::vector<std::uint8_t> old(bytes.begin(), bytes.begin() + 124);
    std::memmove(old.data() + 12, bytes.data() + 16, 8);
    old[21] = 0;
    old.insert(old.end(), bytes.begin() + 128, bytes.end());
    for (std::size_t at = 124; at < old.size();) {
        const std::int32_t next = GetI32(old, at + 4) - 4;
        PutU32(old, at + 4, static_cast<std::uint32_t>(next));
        PutU32(old, static_cast<std::size_t>(next) - 4, static_cast<std::uint32_t>(at));
        at = static_cast<std::size_t>(next);
    }
    WriteAll(dir / "old.qrp", old);
    auto r = Qrptool(dir, {"info", dir / "old.qrp", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"header_size\": 124, \"pages_in_file\": 2, \"compressed\": false, "
                          "\"written_at\": \"2000-01-01T00:00:00.000\", \"pages\": [{\"page\": 1, \"offset\": 124, ",
                          0),
              0u)
        << r.out;
    r = Qrptool(dir, {"extract", dir / "old.qrp", "2", "-o", dir / "two.emf"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(dir / "two.emf"), PageImage(2));

    auto bad = bytes;
    PutU32(bad, 132, 0x7FFFFFF0); // page 1's link beyond the file
    WriteAll(dir / "bad.qrp", bad);
    r = Qrptool(dir, {"info", dir / "bad.qrp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(LastLine(r.err).find("damaged"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    WriteAll(dir / "short.qrp", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 150));
    r = Qrptool(dir, {"info", dir / "short.qrp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qrptool info: Stream read error\n");
    EXPECT_EQ(ReadAll(dir / "bad.qrp"), bad) << "the input is never written";
}

TEST(QrptoolExtract, EveryPageByteExactAndFailuresLeaveNothing)
{
    for (const bool compressed : {false, true}) {
        TTempDir dir;
        auto list = BuildReport(4, compressed);
        list->CopyToFile(dir / "r.qrp");
        const auto before = ReadAll(dir / "r.qrp");
        for (int k : {4, 1, 3, 2}) {
            const auto r = Qrptool(dir, {"extract", dir / "r.qrp", std::to_string(k), "-o", dir / "x.emf"});
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(ReadAll(dir / "x.emf"), PageImage(k)) << k;
        }
        std::filesystem::remove(dir / "x.emf");
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"extract", dir / "r.qrp", "5", "-o", dir / "x.emf"},
              {"extract", dir / "r.qrp", "0", "-o", dir / "x.emf"},
              {"extract", dir / "r.qrp", "two", "-o", dir / "x.emf"},
              {"extract", dir / "r.qrp", "1"},
              {"extract", dir / "r.qrp", "1", "-o", dir / "r.qrp"},
              {"extract", dir / "none.qrp", "1", "-o", dir / "x.emf"}}) {
            const auto r = Qrptool(dir, args);
            EXPECT_EQ(r.status, 1) << args[2];
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line on stderr: " << r.err;
            EXPECT_TRUE(r.out.empty());
        }
        EXPECT_EQ(ReadAll(dir / "r.qrp"), before);
        ExpectOnlyFiles(dir, {"r.qrp"});
    }
}
