#pragma once
// Registers the program as the opener of its report files on a freedesktop desktop:
// a shared-mime-info type for the extension, a desktop entry for the program with an
// "Open" action, the program as the type's default application, and a refresh of the
// user's MIME and desktop-entry databases. Paths follow XDG_DATA_HOME (~/.local/share)
// and XDG_CONFIG_HOME (~/.config).
//
// It runs at every start, so it changes nothing that already says what it should: a
// file is written only when its content differs, and a database is rebuilt only when
// one of its files changed or it is missing or older than that file. A file is never
// written in place: the new content goes to a temporary file beside it (".NAME.XXXXXX"),
// is synced and renamed over the file's own path, keeping the old file's mode (and its
// owner, when run by the administrator). A symbolic link in place of one of these
// files is therefore replaced by a regular file; what it pointed to is never changed.
// Bytes and lines of mimeapps.list other than the program's own entry are kept as they
// are, and a mimeapps.list over 1 MiB is left alone (a warning on stderr says so; no
// error).
#include <QByteArray>
#include <QString>

namespace qrp {

// Extension ".QRP"; TypeName names the file type; Description is the type's comment;
// ProgramPath is the program's full path; IconIndex picks the program's icon (0 = its
// main icon). A file that cannot be written, or a mimeapps.list that is there but
// cannot be read (unreadable, a dangling link, not a regular file), raises EError
// "Failed to set data for ''" and the steps after it are skipped.
void RegisterFileAssociation(const QString& Extension, const QString& TypeName,
                             const QString& Description, const QString& ProgramPath,
                             int IconIndex);

// The pieces, exposed for the program and its tests.
QString AssociationMimeType(const QString& Extension);          // "application/x-qrp-report"
QString AssociationDesktopFileId(const QString& ProgramPath);   // "visualizar-reportes.desktop"
QString AssociationIconName(const QString& ProgramPath, int IconIndex);
QString UserDataHome();    // $XDG_DATA_HOME or ~/.local/share
QString UserConfigHome();  // $XDG_CONFIG_HOME or ~/.config
// One argument of an Exec line, quoted and escaped by the desktop-entry rules.
QString DesktopExecQuote(const QString& argument);
// mimeapps.list bytes with key=value set in [Default Applications]; every other byte
// is kept. An entry whose first application already is value is kept as it is, so
// the result equals existing when nothing needs to change.
QByteArray MergeMimeAppsList(const QByteArray& existing, const QByteArray& key, const QByteArray& value);
// Largest mimeapps.list the registration reads and rewrites.
constexpr qint64 kMimeAppsListLimit = 1024 * 1024;

} // namespace qrp
