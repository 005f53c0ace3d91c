#pragma once
// Registers the program as the opener of its report files on a freedesktop desktop:
// a shared-mime-info type for the extension, a desktop entry for the program with an
// "Open" action, the program as the type's default application, and a refresh of the
// user's MIME and desktop-entry databases. Every call overwrites what an earlier one
// wrote. Paths follow XDG_DATA_HOME (~/.local/share) and XDG_CONFIG_HOME (~/.config).
#include <QString>

namespace qrp {

// Extension ".QRP"; TypeName names the file type; Description is the type's comment;
// ProgramPath is the program's full path; IconIndex picks the program's icon (0 = its
// main icon). A file that cannot be written raises EError "Failed to set data for ''"
// and the steps after it are skipped.
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
// mimeapps.list text with key=value set in [Default Applications], the rest kept.
QString MergeMimeAppsList(const QString& existing, const QString& key, const QString& value);

} // namespace qrp
