#pragma once
// export-pdf over many reports: each report is converted by a child qrptool running
// the single-file conversion, several at a time, so the reports use every core and
// each PDF is exactly what a single conversion writes. A report that fails does not
// stop the others; the children write all or nothing, so a failure leaves no file.
#include "base/Errors.h"
#include "base/Interruption.h"
#include "base/OutputFile.h"
#include "storage/PageList.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace qrptool {

struct TBatchExport {
    std::vector<std::string> Inputs;
    std::string OutDir;
    std::vector<std::string> ChildOptions; // passed on to every conversion (page range)
    int Jobs = 0;                          // 0: one per core
};

struct TBatchResult {
    std::string Input, Output;
    bool Done = false;
    int Pages = 0;
    std::string Message; // why it failed
};

namespace batch_detail {

// The child's error, without the "qrptool export-pdf: " its main() puts in front.
inline std::string ChildMessage(const QByteArray& err)
{
    const QList<QByteArray> lines = err.trimmed().split('\n');
    std::string last = lines.isEmpty() ? std::string() : lines.last().trimmed().toStdString();
    const std::string prefix = "qrptool export-pdf: ";
    if (last.rfind(prefix, 0) == 0)
        last.erase(0, prefix.size());
    return last;
}

inline int PageCount(const std::string& report)
{
    try {
        qrp::TQRPageList pages;
        pages.OpenFile(report);
        return pages.Count();
    } catch (...) {
        return 0;
    }
}

// Pages written, from the single conversion's "OUT.pdf: N pages"; the report's page
// count when the line is not there.
inline int PagesWritten(const QByteArray& out, const std::string& report)
{
    const QList<QByteArray> words = out.trimmed().split(' ');
    if (words.size() >= 2 && (words.last() == "pages" || words.last() == "page")) {
        bool ok = false;
        const int n = words[words.size() - 2].toInt(&ok);
        if (ok && n >= 0)
            return n;
    }
    return PageCount(report);
}

// Temporary files a child that crashed may have left next to target.
inline void RemoveLeftovers(const std::string& target)
{
    namespace fs = std::filesystem;
    const fs::path t(target);
    const std::string prefix = "." + t.filename().string() + qrp::kPartialInfix;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(t.parent_path(), ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0)
            fs::remove(e.path(), ec);
    }
}

class TProgressBar {
public:
    TProgressBar(std::size_t total) : total_(total), shown_(::isatty(STDERR_FILENO) == 1) {}
    void Update(std::size_t done, int pages, int failed)
    {
        if (!shown_)
            return;
        constexpr int kWidth = 30;
        const int filled = total_ ? static_cast<int>(kWidth * done / total_) : kWidth;
        std::fprintf(stderr, "\r[%s%s] %zu/%zu reports, %d pages%s", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), done, total_, pages,
                     failed ? (", " + std::to_string(failed) + " failed").c_str() : "");
        std::fflush(stderr);
    }
    void Finish()
    {
        if (shown_) {
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
        }
    }

private:
    std::size_t total_;
    bool shown_;
};

} // namespace batch_detail

// Converts every input into OutDir/<name>.pdf; returns the results in input order.
inline std::vector<TBatchResult> ExportMany(const TBatchExport& job)
{
    namespace fs = std::filesystem;
    using namespace batch_detail;
    std::vector<TBatchResult> results(job.Inputs.size());
    std::vector<std::size_t> queue;
    std::map<std::string, std::size_t> targets;
    for (std::size_t i = 0; i < job.Inputs.size(); ++i) {
        TBatchResult& r = results[i];
        r.Input = job.Inputs[i];
        r.Output = (fs::path(job.OutDir) / fs::path(r.Input).filename().replace_extension(".pdf")).string();
        // Two reports of the same name from different folders would overwrite each other.
        if (auto [it, fresh] = targets.emplace(r.Output, i); !fresh)
            r.Message = "\"" + r.Output + "\" is already the output of \"" + job.Inputs[it->second] + "\"";
        else if (qrp::SameFile(r.Input, r.Output))
            r.Message = "the output \"" + r.Output + "\" is the same file as the input \"" + r.Input + "\"";
        else
            queue.push_back(i);
    }

    const int jobs = std::max(1, job.Jobs > 0 ? job.Jobs : QThread::idealThreadCount());
    const QString self = QCoreApplication::applicationFilePath();
    TProgressBar bar(results.size());
    std::size_t next = 0, finished = results.size() - queue.size(), running = 0;
    int pages = 0, failed = static_cast<int>(finished);
    QEventLoop loop;
    std::vector<std::unique_ptr<QProcess>> children;
    std::vector<pid_t> pids(results.size(), 0);
    const pid_t parent = ::getpid();

    std::function<void()> startMore = [&] {
        while (running < static_cast<std::size_t>(jobs) && next < queue.size()) {
            const std::size_t i = queue[next++];
            auto* child = new QProcess;
            children.emplace_back(child);
            QStringList args = {"export-pdf", QString::fromStdString(results[i].Input), "-o",
                                QString::fromStdString(results[i].Output)};
            for (const auto& o : job.ChildOptions)
                args << QString::fromStdString(o);
            QObject::connect(child, &QProcess::finished, &loop, [&, child, i](int code, QProcess::ExitStatus status) {
                qrp::StopForwardingTo(pids[i]);
                TBatchResult& r = results[i];
                if (status == QProcess::NormalExit && code == 0) {
                    r.Done = true;
                    r.Pages = PagesWritten(child->readAllStandardOutput(), r.Input);
                    pages += r.Pages;
                } else {
                    r.Message = ChildMessage(child->readAllStandardError());
                    if (status != QProcess::NormalExit) {
                        RemoveLeftovers(r.Output);
                        r.Message = "the conversion stopped unexpectedly";
                    } else if (r.Message.empty()) {
                        r.Message = "the conversion failed";
                    }
                    ++failed;
                }
                --running;
                bar.Update(++finished, pages, failed);
                startMore();
                if (running == 0 && next == queue.size())
                    loop.quit();
            });
            QObject::connect(child, &QProcess::errorOccurred, &loop, [&, child, i](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart)
                    return; // the finished signal follows
                results[i].Message = "cannot start a conversion: " + child->errorString().toStdString();
                ++failed;
                --running;
                bar.Update(++finished, pages, failed);
                startMore();
                if (running == 0 && next == queue.size())
                    loop.quit();
            });
            child->setProcessChannelMode(QProcess::SeparateChannels);
            // A conversion ends with this program: the signal that stops it is passed
            // on, and a child whose parent dies any other way gets SIGTERM. A parent
            // that died before the child could ask for that is checked for after.
            child->setChildProcessModifier([parent] {
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);
                if (::getppid() != parent)
                    ::_exit(1);
            });
            ++running;
            child->start(self, args);
            pids[i] = static_cast<pid_t>(child->processId());
            if (pids[i] > 0)
                qrp::ForwardInterruptionTo(pids[i]);
        }
    };
    bar.Update(finished, pages, failed);
    startMore();
    if (running > 0)
        loop.exec();
    bar.Finish();
    return results;
}

// The batch command: creates OutDir, converts, prints one line per report - the PDF
// written, as every command names what it wrote, or FAILED and why - and a total; 1
// when any report failed.
inline int RunBatchExport(const TBatchExport& job)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(job.OutDir, ec);
    if (ec || !fs::is_directory(job.OutDir))
        throw qrp::EFCreateError("Cannot create folder \"" + job.OutDir + "\". " + ec.message());

    const auto results = ExportMany(job);
    int done = 0, pages = 0;
    for (const auto& r : results) {
        if (r.Done) {
            ++done;
            pages += r.Pages;
            std::printf("%s: %d %s\n", r.Output.c_str(), r.Pages, r.Pages == 1 ? "page" : "pages");
        } else {
            std::printf("FAILED  %s: %s\n", r.Input.c_str(), r.Message.c_str());
        }
    }
    const int failed = static_cast<int>(results.size()) - done;
    std::printf("%d of %zu reports converted, %d pages, %d failed\n", done, results.size(), pages, failed);
    std::fflush(stdout);
    return failed ? 1 : 0;
}

} // namespace qrptool
