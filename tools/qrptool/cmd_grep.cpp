// qrptool grep PATTERN FILE...: the lines of report pages that hold a pattern, like grep
// over the text of every page. Pages are read in chunks by one thread per core; the
// output comes in the order of the files and pages all the same.
#include "BatchExport.h"
#include "Command.h"
#include "Json.h"

#include "emf/EmfText.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <QRegularExpression>
#include <QString>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qrptool {
namespace {

// Statuses as grep gives them.
constexpr int kMatched = 0, kNoMatch = 1, kTrouble = 2;
// Pages read as one piece of work: small enough to share a long report between the
// threads, large enough that each thread walks the page records mostly forwards.
constexpr int kChunkPages = 16;

struct TGrepOptions {
    QString Pattern;
    bool IgnoreCase = false;
    bool Regex = false;
    bool Json = false;
    int Jobs = 0;
    std::vector<std::string> Files;
};

TGrepOptions ParseOptions(const Args& args)
{
    TGrepOptions o;
    std::optional<std::string> pattern;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && a == "-i") {
            o.IgnoreCase = true;
        } else if (!optionsEnd && a == "-E") {
            o.Regex = true;
        } else if (!optionsEnd && a == "--json") {
            o.Json = true;
        } else if (!optionsEnd && (a == "-e" || a == "-j")) {
            if (i + 1 >= args.size())
                throw EUsage{"option " + a + " needs a value"};
            if (a == "-e") {
                pattern = args[++i];
            } else {
                const std::string& v = args[++i];
                char* end = nullptr;
                const long jobs = std::strtol(v.c_str(), &end, 10);
                if (end == v.c_str() || *end != '\0' || jobs < 1 || jobs > 256)
                    throw EUsage{"-j takes a number of threads from 1 to 256"};
                o.Jobs = static_cast<int>(jobs);
            }
        } else if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            throw EUsage{"unknown option " + a};
        } else if (!pattern) {
            pattern = a;
        } else {
            o.Files.push_back(a);
        }
    }
    if (!pattern)
        throw EUsage{"expected a PATTERN"};
    if (o.Files.empty())
        throw EUsage{"expected report files"};
    o.Pattern = QString::fromStdString(*pattern);
    return o;
}

// Finds the pattern in a line: the [start, end) ranges of its occurrences, in
// characters (code points). One per thread: a regular expression is not shared.
class TMatcher {
public:
    explicit TMatcher(const TGrepOptions& o)
        : pattern_(o.Pattern), cs_(o.IgnoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive), regex_(o.Regex)
    {
        if (regex_)
            re_ = QRegularExpression(o.Pattern, QRegularExpression::UseUnicodePropertiesOption |
                                                    (o.IgnoreCase ? QRegularExpression::CaseInsensitiveOption
                                                                  : QRegularExpression::NoPatternOption));
    }

    bool Valid() const { return !regex_ || re_.isValid(); }
    std::string Error() const { return re_.errorString().toStdString(); }

    std::vector<std::pair<qsizetype, qsizetype>> Find(const QString& line) const
    {
        std::vector<std::pair<qsizetype, qsizetype>> found; // UTF-16 positions
        if (regex_) {
            auto it = re_.globalMatch(line);
            while (it.hasNext()) {
                const auto m = it.next();
                found.emplace_back(m.capturedStart(), m.capturedEnd());
            }
        } else if (pattern_.isEmpty()) {
            found.emplace_back(0, 0);
        } else {
            for (qsizetype at = line.indexOf(pattern_, 0, cs_); at >= 0;
                 at = line.indexOf(pattern_, at + pattern_.size(), cs_))
                found.emplace_back(at, at + pattern_.size());
        }
        // Code points, not UTF-16 units.
        for (auto& [a, b] : found) {
            a = line.left(a).toUcs4().size();
            b = line.left(b).toUcs4().size();
        }
        return found;
    }

private:
    QString pattern_;
    Qt::CaseSensitivity cs_;
    bool regex_;
    QRegularExpression re_;
};

struct TChunk {
    std::size_t File = 0;
    int First = 0, Last = 0;
    std::string Output;     // the matching lines, formatted
    int Matches = 0;        // lines
    std::string Error;      // the first page that could not be read
    bool Done = false;
};

struct TFileState {
    std::string Error;      // the file cannot be opened
    int Pages = 0;
    std::size_t Chunks = 0; // chunks not finished yet
};

class TGrep {
public:
    explicit TGrep(TGrepOptions o) : o_(std::move(o)) {}

    int Run()
    {
        TMatcher probe(o_);
        if (!probe.Valid()) {
            std::fprintf(stderr, "qrptool grep: the regular expression is not valid: %s\n", probe.Error().c_str());
            return kTrouble;
        }
        Plan();
        const int jobs = std::max(1, o_.Jobs > 0 ? o_.Jobs : QThread::idealThreadCount());
        std::vector<std::thread> threads;
        for (int i = 0; i < std::min<int>(jobs, static_cast<int>(chunks_.size())); ++i)
            threads.emplace_back([this] { Work(); });
        const int status = Collect();
        for (auto& t : threads)
            t.join();
        return status;
    }

private:
    // Opens every file for its page count and cuts its pages into chunks.
    void Plan()
    {
        files_.resize(o_.Files.size());
        for (std::size_t f = 0; f < o_.Files.size(); ++f) {
            try {
                qrp::TQRPageList pages;
                pages.OpenFile(o_.Files[f]);
                files_[f].Pages = pages.Count();
            } catch (const std::exception& e) {
                files_[f].Error = e.what();
                continue;
            }
            for (int first = 1; first <= files_[f].Pages; first += kChunkPages) {
                TChunk c;
                c.File = f;
                c.First = first;
                c.Last = std::min(files_[f].Pages, first + kChunkPages - 1);
                chunks_.push_back(std::move(c));
                ++files_[f].Chunks;
            }
        }
    }

    void Work()
    {
        const TMatcher matcher(o_);
        std::unique_ptr<qrp::TQRPageList> pages;
        std::size_t openFile = SIZE_MAX;
        for (;;) {
            const std::size_t i = next_.fetch_add(1);
            if (i >= chunks_.size())
                return;
            TChunk& c = chunks_[i];
            std::string output, error;
            int matches = 0;
            try {
                if (openFile != c.File) {
                    pages = std::make_unique<qrp::TQRPageList>();
                    openFile = SIZE_MAX;
                    pages->OpenFile(o_.Files[c.File]);
                    openFile = c.File;
                }
                for (int n = c.First; n <= c.Last && error.empty(); ++n) {
                    try {
                        matches += SearchPage(matcher, *pages, c.File, n, output);
                    } catch (const std::exception& e) {
                        error = "page " + std::to_string(n) + ": " + e.what();
                    }
                }
            } catch (const std::exception& e) {
                error = e.what();
            }
            std::lock_guard<std::mutex> lock(mutex_);
            c.Output = std::move(output);
            c.Error = std::move(error);
            c.Matches = matches;
            c.Done = true;
            pagesRead_ += c.Last - c.First + 1;
            if (--files_[c.File].Chunks == 0)
                ++filesDone_;
            done_.notify_one();
        }
    }

    int SearchPage(const TMatcher& matcher, qrp::TQRPageList& pages, std::size_t file, int n, std::string& out)
    {
        const auto picture = pages.ReadPage(n);
        if (!picture)
            throw std::runtime_error("cannot be read");
        const auto& bytes = picture->Bytes();
        const auto runs = qrp::ExtractTextRuns(bytes.data(), bytes.size());
        int matches = 0, lineNo = 0;
        for (const qrp::TEmfTextLine& line : qrp::ArrangeTextLines(runs)) {
            ++lineNo;
            const auto found = matcher.Find(QString::fromStdString(line.Text));
            if (found.empty())
                continue;
            ++matches;
            if (o_.Json) {
                std::string spans;
                for (const auto& [a, b] : found)
                    spans += (spans.empty() ? "[" : ", [") + std::to_string(a) + ", " + std::to_string(b) + "]";
                out += (out.empty() ? "" : ",\n") + std::string("    {\"file\": ") + JsonString(o_.Files[file]) +
                       ", \"page\": " + std::to_string(n) + ", \"line\": " + std::to_string(lineNo) +
                       ", \"text\": " + JsonString(line.Text) + ", \"matches\": [" + spans + "]}";
            } else {
                out += o_.Files[file] + ':' + std::to_string(n) + ": " + line.Text + '\n';
            }
        }
        return matches;
    }

    // Prints the chunks in order as they finish; the status of the run.
    int Collect()
    {
        batch_detail::TProgressBar bar(files_.size());
        const bool showBar = files_.size() > 1;
        bool anyMatch = false, trouble = false, firstJson = true;
        std::vector<std::string> errors; // JSON entries
        if (o_.Json)
            Write("{\"matches\": [\n");
        auto fail = [&](std::size_t file, const std::string& message) {
            trouble = true;
            if (showBar)
                bar.Finish();
            std::fprintf(stderr, "qrptool grep: %s: %s\n", o_.Files[file].c_str(), message.c_str());
            errors.push_back("{\"file\": " + JsonString(o_.Files[file]) + ", \"message\": " + JsonString(message) + "}");
        };
        int failedFiles = 0;
        std::size_t chunk = 0;
        for (std::size_t f = 0; f < files_.size(); ++f) {
            if (!files_[f].Error.empty()) {
                fail(f, files_[f].Error);
                ++failedFiles;
                continue;
            }
            bool stopped = false;
            for (; chunk < chunks_.size() && chunks_[chunk].File == f; ++chunk) {
                TChunk& c = chunks_[chunk];
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    while (!c.Done) {
                        if (showBar)
                            bar.Update(filesDone_, pagesRead_, failedFiles);
                        done_.wait(lock);
                    }
                }
                if (stopped)
                    continue; // the file ended at an unreadable page
                if (!c.Output.empty()) {
                    if (showBar)
                        bar.Finish();
                    if (o_.Json)
                        Write((firstJson ? "" : ",\n") + c.Output);
                    else
                        Write(c.Output);
                    firstJson = firstJson && c.Output.empty();
                }
                anyMatch = anyMatch || c.Matches > 0;
                if (!c.Error.empty()) {
                    fail(f, c.Error);
                    ++failedFiles;
                    stopped = true;
                }
                std::string().swap(c.Output);
                if (showBar) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    bar.Update(filesDone_, pagesRead_, failedFiles);
                }
            }
        }
        if (o_.Json) {
            std::string tail = firstJson ? "  ],\n  \"errors\": [" : "\n  ],\n  \"errors\": [";
            for (std::size_t i = 0; i < errors.size(); ++i)
                tail += (i ? ",\n    " : "\n    ") + errors[i];
            tail += errors.empty() ? "]}\n" : "\n  ]}\n";
            Write(tail);
        }
        if (showBar)
            bar.Finish();
        if (std::fflush(stdout) != 0)
            writeFailed_ = true;
        if (writeFailed_) {
            std::fprintf(stderr, "qrptool grep: cannot write the matches\n");
            return kTrouble;
        }
        return trouble ? kTrouble : anyMatch ? kMatched : kNoMatch;
    }

    void Write(const std::string& s)
    {
        if (!s.empty() && std::fwrite(s.data(), 1, s.size(), stdout) != s.size())
            writeFailed_ = true;
    }

    const TGrepOptions o_;
    std::vector<TFileState> files_;
    std::vector<TChunk> chunks_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable done_;
    std::size_t filesDone_ = 0;
    int pagesRead_ = 0;
    bool writeFailed_ = false;
};

int RunGrep(const Args& args)
{
    // Like grep, every trouble (a usage error too) is status 2, never 1.
    try {
        return TGrep(ParseOptions(args)).Run();
    } catch (const EUsage& e) {
        std::fprintf(stderr, "qrptool grep: %s (usage: qrptool grep PATTERN FILE... [-i] [-E] [--json] [-j JOBS])\n",
                     e.Message.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrptool grep: %s\n", e.what());
    }
    return kTrouble;
}

const TCommandRegistration registration("grep", RunGrep);

} // namespace
} // namespace qrptool
