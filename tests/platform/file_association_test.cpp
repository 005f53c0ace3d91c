// The report file association, written into temporary XDG folders and read back with
// the desktop's own tools.
#include "base/Errors.h"
#include "platform/FileAssociation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
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
    const QString before = QStringLiteral(
        "[Added Associations]\napplication/pdf=evince.desktop;\n\n"
        "[Default Applications]\ntext/plain=gedit.desktop\n"
        "application/x-qrp-report=old.desktop\n");
    const QString after = MergeMimeAppsList(before, QStringLiteral("application/x-qrp-report"),
                                            QStringLiteral("visualizar-reportes.desktop"));
    EXPECT_TRUE(after.contains(QStringLiteral("application/pdf=evince.desktop;")));
    EXPECT_TRUE(after.contains(QStringLiteral("text/plain=gedit.desktop")));
    EXPECT_FALSE(after.contains(QStringLiteral("old.desktop")));
    EXPECT_EQ(after.count(QStringLiteral("application/x-qrp-report=")), 1);
    EXPECT_TRUE(after.contains(QStringLiteral(
        "[Default Applications]\ntext/plain=gedit.desktop\napplication/x-qrp-report=visualizar-reportes.desktop\n")));

    const QString fresh = MergeMimeAppsList(QString(), QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(fresh, QStringLiteral("[Default Applications]\nk=v\n"));
    const QString otherOnly = MergeMimeAppsList(QStringLiteral("[Added Associations]\na=b\n"),
                                                QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(otherOnly, QStringLiteral("[Added Associations]\na=b\n\n[Default Applications]\nk=v\n"));
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

    // A second start writes the same files again, unchanged.
    RegisterFileAssociation(QStringLiteral(".QRP"), kTypeName, kTypeName, program, 0);
    EXPECT_EQ(ReadAll(config + QStringLiteral("/mimeapps.list")), list);
    EXPECT_EQ(ReadAll(data + QStringLiteral("/applications/visualizar-reportes.desktop")), entry);
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
