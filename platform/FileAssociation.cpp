#include "platform/FileAssociation.h"

#include "base/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

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

void WriteFile(const QString& path, const QString& content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        FailToSetData();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        FailToSetData();
    const QByteArray bytes = content.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        FailToSetData();
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

QString MergeMimeAppsList(const QString& existing, const QString& key, const QString& value)
{
    const QString section = QStringLiteral("[Default Applications]");
    QStringList lines = existing.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QStringList out;
    bool inSection = false, sectionSeen = false, written = false;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (inSection && !written) {
                out << key + QLatin1Char('=') + value;
                written = true;
            }
            inSection = trimmed == section;
            sectionSeen = sectionSeen || inSection;
            out << line;
            continue;
        }
        if (inSection) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && line.left(eq).trimmed() == key) {
                if (!written) {
                    out << key + QLatin1Char('=') + value;
                    written = true;
                }
                continue;
            }
        }
        out << line;
    }
    if (inSection && !written) {
        out << key + QLatin1Char('=') + value;
        written = true;
    }
    if (!sectionSeen) {
        if (!out.isEmpty() && !out.last().trimmed().isEmpty())
            out << QString();
        out << section << key + QLatin1Char('=') + value;
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
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
    WriteFile(dataHome + QStringLiteral("/mime/packages/") + mimeType.section(QLatin1Char('/'), 1) +
                  QStringLiteral(".xml"),
              mimeXml);

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
    WriteFile(dataHome + QStringLiteral("/applications/") + desktopId, desktop);

    // The program as the type's default application.
    const QString listPath = UserConfigHome() + QStringLiteral("/mimeapps.list");
    QString existing;
    QFile current(listPath);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly))
            FailToSetData();
        existing = QString::fromUtf8(current.readAll());
        current.close();
    }
    WriteFile(listPath, MergeMimeAppsList(existing, mimeType, desktopId));

    // Tell the desktop that the associations changed.
    RunIfInstalled(QStringLiteral("update-mime-database"), dataHome + QStringLiteral("/mime"));
    RunIfInstalled(QStringLiteral("update-desktop-database"), dataHome + QStringLiteral("/applications"));
}

} // namespace qrp
