// The report file association, written into temporary XDG folders and read back with
// the desktop's own tools.
#include "base/Errors.h"
#include "platform/FileAssociation.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qrp;

namespace {

const QString kTypeName = QStringLiteral("Archivo de Reporte Talpex-HR");

QString ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

void WriteAll(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

unsigned ModeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return ~0u;
    return st.st_mode & 07777;
}

// What a file or folder is, as far as a change to it would show: its inode, kind and
// mode, size and modification time (links not followed).
struct TEntryState {
    ino_t inode = 0;
    mode_t mode = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const TEntryState&) const = default;
};

void PrintTo(const TEntryState& s, std::ostream* os)
{
    *os << "inode " << s.inode << ", mode " << std::oct << s.mode << std::dec << ", " << s.size
        << " bytes, modified " << s.mtimeNs << " ns";
}

// Every entry under root (root itself included), by path. Without folderTimes the
// folders' modification times are left out (a file made and removed changes them).
std::map<QString, TEntryState> Snapshot(const QString& root, bool folderTimes = true)
{
    std::map<QString, TEntryState> out;
    const auto add = [&out, folderTimes](const QString& path) {
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            return;
        const bool timed = folderTimes || !S_ISDIR(st.st_mode);
        out[path] = {st.st_ino, st.st_mode, st.st_size,
                     timed ? static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec : 0};
    };
    add(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        add(it.next());
    return out;
}

struct AssociationFixture : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        data = dir.path() + QStringLiteral("/data");
        config = dir.path() + QStringLiteral("/config");
        oldData = qgetenv("XDG_DATA_HOME");
        oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_DATA_HOME", data.toUtf8());
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", oldData);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
    // Output of an xdg-mime query run against the temporary folders.
    QString XdgMime(const QStringList& args, const QString& desktop = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.remove(QStringLiteral("DESKTOP_SESSION"));
        env.remove(QStringLiteral("KDE_FULL_SESSION"));
        env.remove(QStringLiteral("GNOME_DESKTOP_SESSION_ID"));
        if (!desktop.isEmpty())
            env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdg-mime"), args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QTemporaryDir dir;
    QString data, config;
    QByteArray oldData, oldConfig;
    const QString program = QStringLiteral("/opt/visualizar reportes/bin/visualizar-reportes");
};

} // namespace

TEST(FileAssociationPieces, NamesQuotingAndMerge)
{
    EXPECT_EQ(AssociationMimeType(QStringLiteral(".QRP")), QStringLiteral("application/x-qrp-report"));
    EXPECT_EQ(AssociationDesktopFileId(QStringLiteral("/usr/bin/visualizar-reportes")),
              QStringLiteral("visualizar-reportes.desktop"));
    EXPECT_EQ(AssociationIconName(QStringLiteral("/usr/bin/visualizar-reportes"), 0),
              QStringLiteral("visualizar-reportes"));
    EXPECT_EQ(DesktopExecQuote(QStringLiteral("/a b/c")), QStringLiteral("\"/a b/c\""));
    EXPECT_EQ(DesktopExecQuote(QStringLiteral("/x\"$`\\%y")),
              QStringLiteral("\"/x\\\"\\$\\`\\\\%%y\""));

    // Other sections and keys stay; our key is replaced, not duplicated.
    const QByteArray key = "application/x-qrp-report";
    const QByteArray ours = "visualizar-reportes.desktop";
    const QByteArray before =
        "[Added Associations]\napplication/pdf=evince.desktop;\n\n"
        "[Default Applications]\ntext/plain=gedit.desktop\n"
        "application/x-qrp-report=old.desktop\n";
    const QByteArray after = MergeMimeAppsList(before, key, ours);
    EXPECT_EQ(after, QByteArray("[Added Associations]\napplication/pdf=evince.desktop;\n\n"
                                "[Default Applications]\ntext/plain=gedit.desktop\n"
                                "application/x-qrp-report=visualizar-reportes.desktop\n"));

    EXPECT_EQ(MergeMimeAppsList({}, "k", "v"), QByteArray("[Default Applications]\nk=v\n"));
    EXPECT_EQ(MergeMimeAppsList("[Added Associations]\na=b\n", "k", "v"),
              QByteArray("[Added Associations]\na=b\n\n[Default Applications]\nk=v\n"));
    EXPECT_EQ(MergeMimeAppsList("[Added Associations]\na=b", "k", "v"),
              QByteArray("[Added Associations]\na=b\n\n[Default Applications]\nk=v\n"));
}

TEST(FileAssociationPieces, MergeKeepsEveryOtherByte)
{
    const QByteArray key = "application/x-qrp-report";
    const QByteArray ours = "visualizar-reportes.desktop";

    // Bytes that are not UTF-8, carriage returns, comments, odd spacing and a missing
    // final newline all stay; the entry goes after the section's last line, before the
    // blank line that separates it from the next section.
    const QByteArray foreign =
        "# caf\xe9 \xff\xfe\x80 latin-1 and broken bytes\r\n"
        "[Default Applications]\r\n"
        "text/x-caf\xe9=caf\xe9.desktop\r\n"
        "  image/png = eog.desktop ; \r\n"
        "\r\n"
        "[Added Associations]\r\n"
        "text/plain=\xc3\x28" "bad.desktop;";
    const QByteArray merged = MergeMimeAppsList(foreign, key, ours);
    EXPECT_EQ(merged, QByteArray("# caf\xe9 \xff\xfe\x80 latin-1 and broken bytes\r\n"
                                 "[Default Applications]\r\n"
                                 "text/x-caf\xe9=caf\xe9.desktop\r\n"
                                 "  image/png = eog.desktop ; \r\n"
                                 "application/x-qrp-report=visualizar-reportes.desktop\r\n"
                                 "\r\n"
                                 "[Added Associations]\r\n"
                                 "text/plain=\xc3\x28" "bad.desktop;"));
    EXPECT_FALSE(merged.contains("\xef\xbf\xbd"));  // no replacement character anywhere

    // An entry replaced in place keeps its line ending; later duplicates go.
    EXPECT_EQ(MergeMimeAppsList("[Default Applications]\r\n application/x-qrp-report = old.desktop\r\n"
                                "a=b\r\napplication/x-qrp-report=other.desktop\r\n",
                                key, ours),
              QByteArray("[Default Applications]\r\napplication/x-qrp-report=visualizar-reportes.desktop\r\n"
                         "a=b\r\n"));
    // A section header that ends the file gets its entry on a line of its own.
    EXPECT_EQ(MergeMimeAppsList("x=y\n[Default Applications]", "k", "v"),
              QByteArray("x=y\n[Default Applications]\nk=v\n"));
    EXPECT_EQ(MergeMimeAppsList("[Default Applications]\na=b", "k", "v"),
              QByteArray("[Default Applications]\na=b\nk=v\n"));

    // Already saying what it should, in whatever spelling: nothing changes at all.
    for (const QByteArray& already :
         {QByteArray("[Default Applications]\napplication/x-qrp-report=visualizar-reportes.desktop\n"),
          QByteArray("[Default Applications]\r\n application/x-qrp-report = visualizar-reportes.desktop;\r\n"),
          QByteArray("\xff\n[Default Applications]\napplication/x-qrp-report=visualizar-reportes.desktop;"
                     "fallback.desktop;\n\xfe"),
          QByteArray("[Default Applications]\napplication/x-qrp-report=visualizar-reportes.desktop")})
        EXPECT_EQ(MergeMimeAppsList(already, key, ours), already) << already.toStdString();
    // Another application first is not what it should say.
    EXPECT_EQ(MergeMimeAppsList("[Default Applications]\napplication/x-qrp-report=a.desktop;"
                                "visualizar-reportes.desktop;\n",
                                key, ours),
              QByteArray("[Default Applications]\napplication/x-qrp-report=visualizar-reportes.desktop\n"));
}

TEST_F(AssociationFixture, WritesTypeDesktopEntryAndDefault)
{
    WriteAll(config + QStringLiteral("/mimeapps.list"),
             QStringLiteral("[Default Applications]\napplication/x-qrp-report=other.desktop\n"
                            "text/plain=gedit.desktop\n"));
    WriteAll(data + QStringLiteral("/applications/visualizar-reportes.desktop"),
             QStringLiteral("[Desktop Entry]\nName=Stale\n"));

    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);

    const QString xml = ReadAll(data + QStringLiteral("/mime/packages/x-qrp-report.xml"));
    EXPECT_TRUE(xml.contains(QStringLiteral("<mime-type type=\"application/x-qrp-report\">")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<comment>Archivo de Reporte Talpex-HR</comment>")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<glob pattern=\"*.qrp\" case-sensitive=\"false\"/>")));

    const QString entry = ReadAll(data + QStringLiteral("/applications/visualizar-reportes.desktop"));
    EXPECT_FALSE(entry.contains(QStringLiteral("Stale")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nName=Visualizar Reportes\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=visualizar-reportes\n")));
    EXPECT_TRUE(entry.contains(
        QStringLiteral("\nExec=\"/opt/visualizar reportes/bin/visualizar-reportes\" %f\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nMimeType=application/x-qrp-report;\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\n[Desktop Action Open]\nName=Open\n")));

    const QString list = ReadAll(config + QStringLiteral("/mimeapps.list"));
    EXPECT_TRUE(list.contains(QStringLiteral("application/x-qrp-report=visualizar-reportes.desktop")));
    EXPECT_TRUE(list.contains(QStringLiteral("text/plain=gedit.desktop")));
    EXPECT_FALSE(list.contains(QStringLiteral("other.desktop")));

    if (QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).size()) {
        QProcess v;
        v.start(QStringLiteral("desktop-file-validate"),
                {data + QStringLiteral("/applications/visualizar-reportes.desktop")});
        v.waitForFinished(30000);
        EXPECT_EQ(v.exitCode(), 0) << v.readAllStandardOutput().toStdString();
    }

    // A second start finds everything saying what it should and writes nothing.
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_EQ(ReadAll(config + QStringLiteral("/mimeapps.list")), list);
    EXPECT_EQ(ReadAll(data + QStringLiteral("/applications/visualizar-reportes.desktop")), entry);
}

TEST_F(AssociationFixture, LaterStartsWriteNothingUnlessSomethingIsWrong)
{
    const bool tools = !QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty() &&
                       !QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty();
    WriteAll(config + QStringLiteral("/mimeapps.list"), QStringLiteral("[Added Associations]\na=b\n"));
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    const QString mimeCache = data + QStringLiteral("/mime/mime.cache");
    const QString desktopCache = data + QStringLiteral("/applications/mimeinfo.cache");
    if (tools) {
        EXPECT_TRUE(QFileInfo::exists(mimeCache));
        EXPECT_TRUE(QFileInfo::exists(desktopCache));
    }

    // Every file and folder keeps its inode, size and modification time.
    const auto before = Snapshot(dir.path());
    EXPECT_GE(before.size(), 6u);
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_EQ(Snapshot(dir.path()), before);

    // A desktop entry changed by someone else is written again, and only the desktop
    // database is rebuilt for it.
    const QString entryPath = data + QStringLiteral("/applications/visualizar-reportes.desktop");
    const QString entry = ReadAll(entryPath);
    WriteAll(entryPath, entry + QStringLiteral("X-Extra=1\n"));
    const auto edited = Snapshot(dir.path());
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_EQ(ReadAll(entryPath), entry);
    auto now = Snapshot(dir.path());
    EXPECT_NE(now[entryPath], edited.at(entryPath));
    EXPECT_EQ(now[mimeCache], edited.at(mimeCache));
    EXPECT_EQ(now[config + QStringLiteral("/mimeapps.list")], edited.at(config + QStringLiteral("/mimeapps.list")));
    if (tools) {
        EXPECT_NE(now[desktopCache], edited.at(desktopCache));
    }

    // A database that is missing is built again, and nothing else is touched.
    if (tools) {
        ASSERT_TRUE(QFile::remove(mimeCache));
        const auto withoutCache = Snapshot(dir.path());
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
        now = Snapshot(dir.path());
        EXPECT_TRUE(QFileInfo::exists(mimeCache));
        for (const QString& path : {entryPath, desktopCache, config + QStringLiteral("/mimeapps.list"),
                                    data + QStringLiteral("/mime/packages/x-qrp-report.xml")})
            EXPECT_EQ(now[path], withoutCache.at(path)) << path.toStdString();
    }
}

TEST_F(AssociationFixture, LinksAreReplacedAndWhatTheyPointToStaysAsItWas)
{
    // Each of the three files is a link to a file outside the XDG folders.
    const QString outside = dir.path() + QStringLiteral("/outside");
    QDir().mkpath(outside);
    const QByteArray foreignList = "[Default Applications]\ntext/plain=gedit.desktop\n# \xff\xfe\n";
    WriteBytes(outside + QStringLiteral("/list"), foreignList);
    WriteBytes(outside + QStringLiteral("/entry"), "[Desktop Entry]\nName=Someone else's\n");
    WriteBytes(outside + QStringLiteral("/xml"), "<mime-info/>\n");
    const QString listPath = config + QStringLiteral("/mimeapps.list");
    const QString entryPath = data + QStringLiteral("/applications/visualizar-reportes.desktop");
    const QString xmlPath = data + QStringLiteral("/mime/packages/x-qrp-report.xml");
    for (const auto& [link, target] : {std::pair{listPath, QStringLiteral("/list")},
                                       std::pair{entryPath, QStringLiteral("/entry")},
                                       std::pair{xmlPath, QStringLiteral("/xml")}}) {
        QDir().mkpath(QFileInfo(link).absolutePath());
        ASSERT_TRUE(QFile::link(outside + target, link));
    }
    const auto outsideBefore = Snapshot(outside);
    const QByteArray entryBefore = ReadBytes(outside + QStringLiteral("/entry"));
    const QByteArray xmlBefore = ReadBytes(outside + QStringLiteral("/xml"));

    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);

    EXPECT_EQ(Snapshot(outside), outsideBefore);
    EXPECT_EQ(ReadBytes(outside + QStringLiteral("/list")), foreignList);
    EXPECT_EQ(ReadBytes(outside + QStringLiteral("/entry")), entryBefore);
    EXPECT_EQ(ReadBytes(outside + QStringLiteral("/xml")), xmlBefore);
    for (const QString& path : {listPath, entryPath, xmlPath}) {
        EXPECT_FALSE(QFileInfo(path).isSymLink()) << path.toStdString();
        EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
    }
    // The list that replaced the link holds what the link's file held, plus the entry.
    EXPECT_EQ(ReadBytes(listPath),
              QByteArray("[Default Applications]\ntext/plain=gedit.desktop\n# \xff\xfe\n"
                         "application/x-qrp-report=visualizar-reportes.desktop\n"));
    EXPECT_TRUE(ReadAll(entryPath).contains(QStringLiteral("MimeType=application/x-qrp-report;")));
    EXPECT_TRUE(ReadAll(xmlPath).contains(QStringLiteral("<glob pattern=\"*.qrp\"")));

    // A link to a file that already says what it should is left as it is.
    const QByteArray wanted = ReadBytes(listPath);
    WriteBytes(outside + QStringLiteral("/good-list"), wanted);
    ASSERT_TRUE(QFile::remove(listPath));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/good-list"), listPath));
    const auto linked = Snapshot(dir.path());
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_EQ(Snapshot(dir.path()), linked);
    EXPECT_TRUE(QFileInfo(listPath).isSymLink());
}

TEST_F(AssociationFixture, AListThatCannotBeReadFailsAndIsLeftAsItIs)
{
    const QString listPath = config + QStringLiteral("/mimeapps.list");
    const QString gone = dir.path() + QStringLiteral("/unmounted/mimeapps.list");
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const std::vector<Case> cases{
        {"dangling link", [&] { QDir().mkpath(config); ASSERT_TRUE(QFile::link(gone, listPath)); }},
        {"link loop", [&] { QDir().mkpath(config); ASSERT_TRUE(QFile::link(listPath, listPath)); }},
        {"folder", [&] { QDir().mkpath(listPath); }},
        {"pipe", [&] { QDir().mkpath(config); ASSERT_EQ(::mkfifo(QFile::encodeName(listPath).constData(), 0644), 0); }},
        {"unreadable", [&] {
             WriteAll(listPath, QStringLiteral("[Default Applications]\na=b\n"));
             QFile::setPermissions(listPath, QFileDevice::WriteOwner);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(config).removeRecursively() || !QFileInfo::exists(config));
        c.make();
        if (std::string(c.name) == "unreadable" && geteuid() == 0)
            continue;  // permissions do not stop root; the other cases stand for it
        const auto before = Snapshot(config);
        try {
            RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
            ADD_FAILURE() << "no error";
        } catch (const EError& e) {
            EXPECT_STREQ(e.what(), "Failed to set data for ''");
        }
        EXPECT_EQ(Snapshot(config), before);
        EXPECT_FALSE(QFileInfo::exists(gone));
        // The type and the desktop entry were written before the list was looked at.
        EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral("/applications/visualizar-reportes.desktop")));
    }
    QFile::setPermissions(listPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(AssociationFixture, AnOversizedListIsLeftAloneWithAWarning)
{
    const QString listPath = config + QStringLiteral("/mimeapps.list");
    QDir().mkpath(config);
    // Just over the limit, with real lines, and a sparse one the size of a large file.
    QByteArray big = "[Default Applications]\napplication/x-qrp-report=other.desktop\n";
    while (big.size() <= kMimeAppsListLimit)
        big += "text/x-filler=filler.desktop\n";
    for (const qint64 size : {qint64(big.size()), qint64(276) * 1000 * 1000}) {
        SCOPED_TRACE(size);
        if (size == big.size()) {
            WriteBytes(listPath, big);
        } else {
            QFile f(listPath);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ASSERT_TRUE(f.resize(size));
        }
        const auto before = Snapshot(config);
        testing::internal::CaptureStderr();
        QElapsedTimer timer;
        timer.start();
        EXPECT_NO_THROW(RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0));
        const qint64 ms = timer.elapsed();
        const std::string warning = testing::internal::GetCapturedStderr();
        EXPECT_NE(warning.find("mimeapps.list is larger than 1 MiB"), std::string::npos) << warning;
        EXPECT_EQ(Snapshot(config), before);
        std::printf("registration beside a mimeapps.list of %lld bytes: %lld ms\n",
                    static_cast<long long>(size), static_cast<long long>(ms));
    }
    EXPECT_EQ(QFileInfo(listPath).size(), qint64(276) * 1000 * 1000);

    // Under the limit it is merged.
    big.truncate(kMimeAppsListLimit - 100);
    big.truncate(big.lastIndexOf('\n') + 1);
    WriteBytes(listPath, big);
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_TRUE(ReadBytes(listPath).startsWith(
        "[Default Applications]\napplication/x-qrp-report=visualizar-reportes.desktop\ntext/x-filler="));
}

TEST_F(AssociationFixture, WrittenFilesKeepTheirModeAndAFailedWriteLeavesTheOldOne)
{
    const QString listPath = config + QStringLiteral("/mimeapps.list");
    const QString entryPath = data + QStringLiteral("/applications/visualizar-reportes.desktop");
    const QString xmlPath = data + QStringLiteral("/mime/packages/x-qrp-report.xml");
    WriteAll(listPath, QStringLiteral("[Added Associations]\na=b\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(listPath).constData(), 0600), 0);
    WriteAll(entryPath, QStringLiteral("[Desktop Entry]\nName=Stale\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(entryPath).constData(), 0750), 0);
    const mode_t oldMask = ::umask(027);
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(listPath), 0600u);
    EXPECT_EQ(ModeOf(entryPath), 0750u);
    EXPECT_EQ(ModeOf(xmlPath), 0640u);  // a new file: the umask decides
    EXPECT_TRUE(ReadAll(entryPath).contains(QStringLiteral("Name=Visualizar Reportes")));

    // Run by the administrator, a file of someone else's stays theirs.
    if (geteuid() == 0) {
        WriteAll(listPath, QStringLiteral("[Added Associations]\nc=d\n"));
        ASSERT_EQ(::chown(QFile::encodeName(listPath).constData(), 65534, 65534), 0);
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(listPath).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_TRUE(ReadAll(listPath).contains(QStringLiteral("c=d")));
    }

    // Writes that fail part way (a file size limit stands for a full disk): the file
    // being replaced stays as it was and no temporary file is left.
    for (const QString& victim : {xmlPath, entryPath, listPath}) {
        SCOPED_TRACE(victim.toStdString());
        WriteAll(victim, QStringLiteral("[Default Applications]\n# stale\n"));
        const auto before = Snapshot(dir.path(), false);
        struct rlimit oldLimit {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        struct rlimit small = oldLimit;
        small.rlim_cur = 40;
        void (*oldHandler)(int) = ::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        bool failed = false;
        try {
            RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
        } catch (const EError& e) {
            failed = true;
            EXPECT_STREQ(e.what(), "Failed to set data for ''");
        }
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
        ::signal(SIGXFSZ, oldHandler);
        EXPECT_TRUE(failed);
        EXPECT_EQ(Snapshot(dir.path(), false), before);
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    }
}

TEST_F(AssociationFixture, FoldersThatCannotHoldTheFilesGiveTheSetDataError)
{
    // The configuration folder is a plain file.
    WriteAll(config, QStringLiteral("not a folder"));
    try {
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
        FAIL() << "no error";
    } catch (const EError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for ''");
    }
    EXPECT_EQ(ReadAll(config), QStringLiteral("not a folder"));
    if (geteuid() == 0)
        return;  // permissions do not stop root
    // A read-only data folder that already holds an older desktop entry.
    QFile::remove(config);
    WriteAll(data + QStringLiteral("/applications/visualizar-reportes.desktop"), QStringLiteral("old"));
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(data + QStringLiteral("/applications"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    QFile::setPermissions(data + QStringLiteral("/applications"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    try {
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
        ADD_FAILURE() << "no error";
    } catch (const EError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for ''");
    }
    EXPECT_EQ(ReadAll(data + QStringLiteral("/applications/visualizar-reportes.desktop")), QStringLiteral("old"));
}

TEST_F(AssociationFixture, DesktopToolsSeeTheAssociation)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
        GTEST_SKIP() << "xdg-utils or shared-mime-info not installed";
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral("/mime/mime.cache")));

    EXPECT_EQ(XdgMime({QStringLiteral("query"), QStringLiteral("default"),
                       QStringLiteral("application/x-qrp-report")}),
              QStringLiteral("visualizar-reportes.desktop"));

    if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty())
        GTEST_SKIP() << "no content-type lookup tool";
    for (const QString& name : {QStringLiteral("some.QRP"), QStringLiteral("other.qrp"), QStringLiteral("mixed.QrP")}) {
        const QString file = dir.path() + QLatin1Char('/') + name;
        WriteAll(file, QStringLiteral("not really a report"));
        EXPECT_EQ(XdgMime({QStringLiteral("query"), QStringLiteral("filetype"), file},
                          QStringLiteral("GNOME")),
                  QStringLiteral("application/x-qrp-report"))
            << name.toStdString();
    }
}

TEST_F(AssociationFixture, UnwritableFolderGivesTheSetDataError)
{
    if (geteuid() == 0) {
        // Permissions do not stop root: block the folder with a plain file instead.
        WriteAll(data + QStringLiteral("/mime"), QStringLiteral("a file where a folder belongs"));
    } else {
        QDir().mkpath(data);
        QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    try {
        RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
        FAIL() << "no error";
    } catch (const EError& e) {
        EXPECT_STREQ(e.what(), "Failed to set data for ''");
    }
    // The steps after the failing one were skipped.
    EXPECT_FALSE(QFileInfo::exists(config + QStringLiteral("/mimeapps.list")));
    EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("/applications/visualizar-reportes.desktop")));
    QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
