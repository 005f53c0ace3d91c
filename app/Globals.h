#pragma once
// The program-wide window instances, the shared report printer and the command line.
#include <QString>
#include <QStringList>

namespace qrp {

class TFrmManRepo;
class TFrmReporte;
class TFrmVisualizar;
class TFrmDirectorio;
class TFrmImprimir;
class TQRPrinter;

extern TFrmManRepo* FrmManRepo;
extern TFrmReporte* FrmReporte;
extern TFrmVisualizar* FrmVisualizar;
extern TFrmDirectorio* FrmDirectorio;
extern TFrmImprimir* FrmImprimir;
// The one report printer for opened reports; made by FrmReporte, kept to the end.
extern TQRPrinter* SharedQRPrinter;

// The command line as the program received it: argument 0 is the program's path.
void SetCommandLine(const QStringList& arguments);
int ParamCount();                // arguments after the program's path
QString ParamStr(int index);     // empty when there is no such argument

// The application title: error boxes and the task bar entry.
inline const QString& ApplicationTitle()
{
    static const QString title = QStringLiteral("Visualizar Reportes");
    return title;
}

} // namespace qrp
