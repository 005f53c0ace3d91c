#include "platform/FileAssociation.h"

#include "base/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrp {

namespace {

const char* const kApplicationName = "Visualizar Reportes";

[[noreturn]] void FailToSetData()
{
    // The failing value is the key's unnamed default value, hence the empty name.
    throw EError("Failed to set data for ''");
}

QString XmlEscape(const QString& text)
{
    return text.toHtmlEscaped();
}

// Text inside an XML comment may not contain "--".
QString XmlCommentText(QString text)
{
    while (text.contains(QStringLiteral("--")))
        text.replace(QStringLiteral("--"), QStringLiteral("- -"));
    return text;
}

// Desktop-entry string value: backslash, newline, tab and carriage return escaped.
QString DesktopValue(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The file's bytes when it is a regular file of at most limit bytes (links followed);
// false when it is not there, cannot be read, is something else or is larger. Opened
// without blocking, so a pipe put in its place cannot stall the start.
bool ReadRegularFile(const QString& path, qint64 limit, QByteArray& bytes)
{
    const int fd = ::open(LocalPath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit;
    bytes.clear();
    if (ok) {
        // The size may change while it is read; read one byte past the limit to see it.
        bytes.resize(static_cast<qsizetype>(std::min<qint64>(st.st_size, limit)) + 1);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            done += n;
        }
        ok = ok && done <= limit;
        bytes.resize(ok ? done : 0);
    }
    ::close(fd);
    return ok;
}

// True when path already holds exactly these bytes.
bool SaysAlready(const QString& path, const QByteArray& content)
{
    QByteArray current;
    return ReadRegularFile(path, content.size(), current) && current == content;
}

bool WriteAllBytes(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A fresh file beside target, named ".NAME.XXXXXX", created with the mode a new file
// gets (the umask applies); -1 when none can be made.
int CreateTemporaryBeside(const QString& target, QString& tempPath)
{
    const QFileInfo info(target);
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
        tempPath = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') + suffix;
        const int fd = ::open(LocalPath(tempPath).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Replaces the file at path (or the link there, never what it points to) by a new file
// with content: written beside it, every write checked, synced, closed, renamed. An
// existing file keeps its mode (and its owner, where that can be given). On failure the new file is removed and the old one is
// as it was.
void ReplaceFile(const QString& path, const QByteArray& content)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        FailToSetData();
    struct stat old {};
    const bool keepMode = ::stat(LocalPath(path).c_str(), &old) == 0 && S_ISREG(old.st_mode);
    QString tempPath;
    const int fd = CreateTemporaryBeside(path, tempPath);
    if (fd < 0)
        FailToSetData();
    // Run by the administrator on a user's folders, the file stays the user's own.
    bool owned = true;
    if (keepMode && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        owned = ::fchown(fd, old.st_uid, old.st_gid) == 0;
    static_cast<void>(owned);  // anyone else cannot give a file away, nor needs to
    bool ok = (!keepMode || ::fchmod(fd, old.st_mode & 07777) == 0) && WriteAllBytes(fd, content) &&
              ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(LocalPath(tempPath).c_str(), LocalPath(path).c_str()) == 0;
    if (!ok) {
        ::unlink(LocalPath(tempPath).c_str());
        FailToSetData();
    }
    // The rename itself lasts once the folder is synced too.
    const int dirFd = ::open(LocalPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

// Writes content to path unless it already says exactly that; true when it wrote.
bool UpdateFile(const QString& path, const QByteArray& content)
{
    if (SaysAlready(path, content))
        return false;
    ReplaceFile(path, content);
    return true;
}

enum class TListState { Absent, Read, Oversized };

// The user's mimeapps.list: absent (nothing there, or its folder is not a folder: the
// write then fails), read into bytes, or over the limit. Something there that cannot
// be read (no permission, a dangling link, a folder, a pipe) fails the registration:
// replacing it would lose what it holds or points to.
TListState ReadMimeAppsList(const QString& path, QByteArray& bytes)
{
    const std::string local = LocalPath(path);
    struct stat st {};
    if (::stat(local.c_str(), &st) != 0) {
        if (errno == ENOTDIR)
            return TListState::Absent;
        struct stat link {};
        if (errno == ENOENT && ::lstat(local.c_str(), &link) != 0)
            return TListState::Absent;
        FailToSetData();
    }
    if (!S_ISREG(st.st_mode))
        FailToSetData();
    if (st.st_size > kMimeAppsListLimit)
        return TListState::Oversized;
    if (ReadRegularFile(path, kMimeAppsListLimit, bytes))
        return TListState::Read;
    // Grown past the limit since it was looked at: as large as that, it is left alone.
    struct stat now {};
    if (::stat(local.c_str(), &now) == 0 && S_ISREG(now.st_mode) && now.st_size > kMimeAppsListLimit)
        return TListState::Oversized;
    FailToSetData();
}

// True when the database file is missing or older than the file it is built from.
bool CacheOutdated(const QString& cache, const QString& source)
{
    struct stat c {}, s {};
    if (::stat(LocalPath(cache).c_str(), &c) != 0)
        return true;
    if (::stat(LocalPath(source).c_str(), &s) != 0)
        return false;
    return c.st_mtim.tv_sec < s.st_mtim.tv_sec ||
           (c.st_mtim.tv_sec == s.st_mtim.tv_sec && c.st_mtim.tv_nsec < s.st_mtim.tv_nsec);
}

QString ExtensionWithoutDot(const QString& extension)
{
    QString e = extension;
    while (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return e.toLower();
}

// "&Open" -> "Open": the "&" only marks the menu accelerator.
QString WithoutAccelerator(QString text)
{
    const int amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0)
        text.remove(amp, 1);
    return text;
}

void RunIfInstalled(const QString& program, const QString& folder)
{
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(exe, {folder});
    if (process.waitForStarted(5000))
        process.waitForFinished(60000);
}

} // namespace

QString UserDataHome()
{
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QString UserConfigHome()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString AssociationMimeType(const QString& Extension)
{
    return QStringLiteral("application/x-%1-report").arg(ExtensionWithoutDot(Extension));
}

QString AssociationDesktopFileId(const QString& ProgramPath)
{
    QString base = QFileInfo(ProgramPath).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("visualizar-reportes");
    return base + QStringLiteral(".desktop");
}

QString AssociationIconName(const QString& ProgramPath, int IconIndex)
{
    QString name = AssociationDesktopFileId(ProgramPath);
    name.chop(8);  // ".desktop"
    if (IconIndex != 0)
        name += QStringLiteral("-%1").arg(IconIndex);
    return name;
}

QString DesktopExecQuote(const QString& argument)
{
    QString out = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

namespace {

// The line ending a line carries: "\r\n", "\n" or none (the file's last line).
QByteArray LineEnding(const QByteArray& line)
{
    if (line.endsWith("\r\n"))
        return QByteArrayLiteral("\r\n");
    if (line.endsWith('\n'))
        return QByteArrayLiteral("\n");
    return {};
}

// True when an entry's value already names application first ("a.desktop;b.desktop;").
bool NamesFirst(const QByteArray& entryValue, const QByteArray& application)
{
    return entryValue.trimmed().split(';').first().trimmed() == application;
}

} // namespace

QByteArray MergeMimeAppsList(const QByteArray& existing, const QByteArray& key, const QByteArray& value)
{
    const QByteArray section = QByteArrayLiteral("[Default Applications]");
    const QByteArray entry = key + '=' + value;
    QByteArray out;
    out.reserve(existing.size() + entry.size() + section.size() + 4);
    bool inSection = false, sectionSeen = false, written = false;
    // Where a missing entry goes: after the section's last line that is not blank, with
    // that line's ending.
    qsizetype insertAt = 0;
    QByteArray insertEnding;
    const auto insertEntry = [&] {
        QByteArray ending = insertEnding.isEmpty() ? QByteArrayLiteral("\n") : insertEnding;
        QByteArray add = entry + ending;
        if (insertEnding.isEmpty())
            add.prepend(ending);  // the section's last line ended the file
        out.insert(insertAt, add);
        written = true;
    };
    qsizetype pos = 0;
    while (pos < existing.size()) {
        const qsizetype newline = existing.indexOf('\n', pos);
        const qsizetype next = newline < 0 ? existing.size() : newline + 1;
        const QByteArray line = existing.mid(pos, next - pos);
        pos = next;
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            if (inSection && !written)
                insertEntry();
            inSection = trimmed == section;
            sectionSeen = sectionSeen || inSection;
            out += line;
            if (inSection) {
                insertAt = out.size();
                insertEnding = LineEnding(line);
            }
            continue;
        }
        if (inSection) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0 && line.left(eq).trimmed() == key) {
                if (written)
                    continue;  // a second entry for the key would be ignored or confuse
                written = true;
                if (NamesFirst(line.mid(eq + 1), value)) {
                    out += line;
                } else {
                    const QByteArray ending = LineEnding(line);
                    out += entry + (ending.isEmpty() ? QByteArrayLiteral("\n") : ending);
                }
                continue;
            }
            out += line;
            if (!trimmed.isEmpty()) {
                insertAt = out.size();
                insertEnding = LineEnding(line);
            }
            continue;
        }
        out += line;
    }
    if (inSection && !written)
        insertEntry();
    if (!sectionSeen) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
        if (!out.isEmpty() && !out.endsWith("\n\n") && !out.endsWith("\n\r\n") && out != "\n")
            out += '\n';
        out += section + '\n' + entry + '\n';
    }
    return out;
}

void RegisterFileAssociation(const QString& Extension, const QString& TypeName,
                             const QString& Description, const QString& ProgramPath,
                             int IconIndex)
{
    const QString dataHome = UserDataHome();
    const QString mimeType = AssociationMimeType(Extension);
    const QString desktopId = AssociationDesktopFileId(ProgramPath);
    const QString icon = AssociationIconName(ProgramPath, IconIndex);
    const QString ext = ExtensionWithoutDot(Extension);

    // The extension's file type, with its description as comment.
    const QString mimeXml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<!-- %1 -->\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                       "  <mime-type type=\"%2\">\n"
                       "    <comment>%3</comment>\n"
                       "    <icon name=\"%4\"/>\n"
                       "    <glob pattern=\"*.%5\" case-sensitive=\"false\"/>\n"
                       "  </mime-type>\n"
                       "</mime-info>\n")
            .arg(XmlCommentText(TypeName), mimeType, XmlEscape(Description), XmlEscape(icon),
                 XmlEscape(ext));
    const QString mimePath = dataHome + QStringLiteral("/mime/packages/") +
                             mimeType.section(QLatin1Char('/'), 1) + QStringLiteral(".xml");
    const bool mimeChanged = UpdateFile(mimePath, mimeXml.toUtf8());

    // The program, its icon and its open command.
    const QString exec = DesktopValue(DesktopExecQuote(ProgramPath) + QStringLiteral(" %f"));
    const QString openName = WithoutAccelerator(QStringLiteral("&Open"));
    const QString desktop =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=%1\n"
                       "Comment=%2\n"
                       "Icon=%3\n"
                       "Exec=%4\n"
                       "Terminal=false\n"
                       "MimeType=%5;\n"
                       "Actions=%6;\n"
                       "\n"
                       "[Desktop Action %6]\n"
                       "Name=%6\n"
                       "Exec=%4\n")
            .arg(QString::fromUtf8(kApplicationName), DesktopValue(Description), DesktopValue(icon),
                 exec, mimeType, openName);
    const QString desktopPath = dataHome + QStringLiteral("/applications/") + desktopId;
    const bool desktopChanged = UpdateFile(desktopPath, desktop.toUtf8());

    // The program as the type's default application.
    const QString listPath = UserConfigHome() + QStringLiteral("/mimeapps.list");
    QByteArray existing;
    if (ReadMimeAppsList(listPath, existing) == TListState::Oversized) {
        std::fprintf(stderr,
                     "Visualizar Reportes: %s is larger than 1 MiB and was left as it is; the "
                     "program was not made the default application for %s.\n",
                     QFile::encodeName(listPath).constData(), mimeType.toUtf8().constData());
    } else {
        const QByteArray merged = MergeMimeAppsList(existing, mimeType.toUtf8(), desktopId.toUtf8());
        if (merged != existing)
            ReplaceFile(listPath, merged);
    }

    // Tell the desktop that the associations changed.
    const QString mimeFolder = dataHome + QStringLiteral("/mime");
    if (mimeChanged || CacheOutdated(mimeFolder + QStringLiteral("/mime.cache"), mimePath))
        RunIfInstalled(QStringLiteral("update-mime-database"), mimeFolder);
    const QString applications = dataHome + QStringLiteral("/applications");
    if (desktopChanged || CacheOutdated(applications + QStringLiteral("/mimeinfo.cache"), desktopPath))
        RunIfInstalled(QStringLiteral("update-desktop-database"), applications);
}

} // namespace qrp
