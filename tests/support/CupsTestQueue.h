#pragma once
// Print queues of a test's own on the running CUPS scheduler: each writes PDF files
// through the cups-pdf back end (into ~/PDF, named after the job title), has a name no
// other test or engineer uses, and is removed with its jobs when the test ends. Tests
// stop, reject or remove their queues while the program prints to see what it tells.
#include <cups/cups.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QCoreApplication>
#include <chrono>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace qrp::cupstest {

// Exit status of a program run with its output dropped; -1 when it cannot run.
inline int RunTool(const QString& program, const QStringList& args, QString* out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A name no other process on the machine uses: the test's label, the process id and a count.
inline std::string UniqueName(const std::string& label)
{
    static int count = 0;
    return "qrptest_" + label + "_" + std::to_string(getpid()) + "_" + std::to_string(++count);
}

class TTestQueue {
public:
    explicit TTestQueue(const std::string& label) : name_(UniqueName(label))
    {
        const QString n = Name();
        exists_ = RunTool(QStringLiteral("lpadmin"),
                       {QStringLiteral("-p"), n, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
                        QStringLiteral("-m"), QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-E"),
                        QStringLiteral("-o"), QStringLiteral("printer-is-shared=false"), QStringLiteral("-o"),
                        QStringLiteral("TitlePref=1")}) == 0;
        ready_ = exists_ && WaitForState("idle");
    }
    ~TTestQueue() { Remove(); }
    TTestQueue(const TTestQueue&) = delete;
    TTestQueue& operator=(const TTestQueue&) = delete;

    // The queue exists (cups-pdf is installed and this process may administer CUPS).
    bool Ok() const { return ready_; }
    QString Name() const { return QString::fromStdString(name_); }
    const std::string& StdName() const { return name_; }

    // Paused: jobs are taken and wait.
    void Stop() { RunTool(QStringLiteral("cupsdisable"), {Name()}); }
    void Restart() { RunTool(QStringLiteral("cupsenable"), {Name()}); }
    // Jobs are refused, or taken again.
    void Reject() { RunTool(QStringLiteral("cupsreject"), {Name()}); }
    void Accept() { RunTool(QStringLiteral("cupsaccept"), {Name()}); }
    // A default of the queue, as an administrator sets it ("name=value").
    void SetDefault(const QString& option)
    {
        RunTool(QStringLiteral("lpadmin"), {QStringLiteral("-p"), Name(), QStringLiteral("-o"), option});
    }
    // Cancels its jobs and deletes it (also when the test has done so already).
    void Remove()
    {
        if (!exists_)
            return;
        RunTool(QStringLiteral("cancel"), {QStringLiteral("-a"), QStringLiteral("-x"), Name()});
        RunTool(QStringLiteral("lpadmin"), {QStringLiteral("-x"), Name()});
        exists_ = ready_ = false;
    }

    // Ids of the jobs not yet completed (held, pending, processing).
    std::vector<int> ActiveJobs() const { return Jobs(CUPS_WHICHJOBS_ACTIVE); }
    std::vector<int> CompletedJobs() const { return Jobs(CUPS_WHICHJOBS_COMPLETED); }

    // Waits until no job of the queue is left to print (time-limited).
    bool WaitUntilIdle(int timeoutMs = 60000) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < until) {
            if (ActiveJobs().empty())
                return true;
            QCoreApplication::processEvents();
            QThread::msleep(100);
        }
        return false;
    }

    // The job's attributes as text ("copies" -> "2"), as the scheduler holds them.
    static std::map<std::string, std::string> JobAttributes(int job)
    {
        std::map<std::string, std::string> attributes;
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        char uri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/jobs/%d", job);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
            if (!ippGetName(a))
                continue;
            char value[1024];
            ippAttributeString(a, value, sizeof value);
            attributes[ippGetName(a)] = value;
        }
        ippDelete(response);
        return attributes;
    }

private:
    std::vector<int> Jobs(int which) const
    {
        std::vector<int> ids;
        cups_job_t* jobs = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name_.c_str(), 0, which);
        for (int i = 0; i < n; ++i)
            ids.push_back(jobs[i].id);
        cupsFreeJobs(n, jobs);
        return ids;
    }

    bool WaitForState(const char* state) const
    {
        for (int i = 0; i < 100; ++i) {
            QString out;
            RunTool(QStringLiteral("lpstat"), {QStringLiteral("-p"), Name()}, &out);
            if (out.contains(QLatin1String(state)))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    std::string name_;
    bool exists_ = false;
    bool ready_ = false;
};

// Where cups-pdf writes the files of this user.
inline QString PdfOutputFolder()
{
    return QDir::homePath() + QStringLiteral("/PDF");
}

// The PDF files written for jobs whose title starts with `title`.
inline QStringList PdfOutputs(const QString& title)
{
    QStringList files;
    const QDir out(PdfOutputFolder());
    for (const QFileInfo& f : out.entryInfoList({title + QStringLiteral("*.pdf")}, QDir::Files))
        files << f.absoluteFilePath();
    return files;
}

inline void RemovePdfOutputs(const QString& title)
{
    for (const QString& f : PdfOutputs(title))
        QFile::remove(f);
}

// Every page of a PDF: its size in points and its rotation, as pdfinfo reports them.
struct TPdfPage {
    double Width = 0, Height = 0;
    int Rotation = 0;
};

inline std::vector<TPdfPage> PdfPages(const QString& pdf)
{
    QString info;
    RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                    QStringLiteral("100000"), pdf},
        &info);
    std::vector<TPdfPage> pages;
    static const QRegularExpression size(QStringLiteral("^Page\\s+(\\d+) size:\\s+([\\d.]+) x ([\\d.]+) pts"));
    static const QRegularExpression rot(QStringLiteral("^Page\\s+(\\d+) rot:\\s+(\\d+)"));
    for (const QString& line : info.split(QLatin1Char('\n'))) {
        if (const auto m = size.match(line); m.hasMatch()) {
            pages.push_back({m.captured(2).toDouble(), m.captured(3).toDouble(), 0});
        } else if (const auto r = rot.match(line); r.hasMatch() && !pages.empty()) {
            pages.back().Rotation = r.captured(2).toInt();
        }
    }
    return pages;
}

} // namespace qrp::cupstest
