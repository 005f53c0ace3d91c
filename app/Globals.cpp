#include "app/Globals.h"

namespace qrp {

TFrmManRepo* FrmManRepo = nullptr;
TFrmReporte* FrmReporte = nullptr;
TFrmVisualizar* FrmVisualizar = nullptr;
TFrmDirectorio* FrmDirectorio = nullptr;
TFrmImprimir* FrmImprimir = nullptr;
TQRPrinter* SharedQRPrinter = nullptr;

namespace {
QStringList& CommandLine()
{
    static QStringList args;
    return args;
}
} // namespace

void SetCommandLine(const QStringList& arguments)
{
    CommandLine() = arguments;
}

int ParamCount()
{
    return CommandLine().isEmpty() ? 0 : static_cast<int>(CommandLine().size()) - 1;
}

QString ParamStr(int index)
{
    if (index < 0 || index >= CommandLine().size())
        return {};
    return CommandLine().at(index);
}

} // namespace qrp
