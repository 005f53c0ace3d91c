#include "app/FrmReporte.h"

#include "app/FrmVisualizar.h"
#include "app/Globals.h"
#include "host/QRReport.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QLineEdit>

namespace qrp {

TFrmReporte::TFrmReporte(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmReporte"));
    QRReporte20 = new TQRReport(this);
    QRReporte20->setObjectName(QStringLiteral("QRReporte20"));
    ApplyHostFormSettings(*QRReporte20);
    FormCreate();
}

TFrmReporte::~TFrmReporte() = default;

void TFrmReporte::FormCreate()
{
    // Not owned by any window: it lives until the program ends.
    SharedQRPrinter = new TQRPrinter();
    QRReporte20->SetCurrentPrinter(SharedQRPrinter);
}

void TFrmReporte::QRReporte20Preview(QObject*)
{
    TFrmVisualizar* form = FrmVisualizar;
    form->QRPrev->SetReportSource(SharedQRPrinter);
    form->QRPrev->SetZoom(100);
    // A newly attached report starts on page 1: the page field and the navigation
    // buttons start afresh with it.
    form->RefreshNavigation();
    form->ShowAndFront();
    form->activateWindow();
    form->setFocus(Qt::OtherFocusReason);
}

void TFrmReporte::ShowPageCount()
{
    FrmVisualizar->WritePageCount();
}

} // namespace qrp
