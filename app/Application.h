#pragma once
// Program start and end: the five windows in their order, the shared report printer,
// and the run of the GUI loop until the main window closes.
#include <QStringList>

namespace qrp {

// Sets the application title and the screen resolution, then creates FrmManRepo,
// FrmReporte (and with it SharedQRPrinter), FrmVisualizar, FrmDirectorio and
// FrmImprimir, in this order. commandLine[0] is the program's full path.
void CreateApplicationWindows(const QStringList& commandLine);
// Frees the windows and SharedQRPrinter (the program's end).
void DestroyApplicationWindows();

// The whole program: returns the exit status.
int RunProgram(int argc, char** argv);

} // namespace qrp
