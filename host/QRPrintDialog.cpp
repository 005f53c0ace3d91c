#include "host/QRPrintDialog.h"

#include "platform/PrinterDevice.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTimer>

namespace qrp {

TQRPrintDialog::TQRPrintDialog(QObject* owner) : TQRPrintDialog(ApplicationPrinter(), owner) {}

TQRPrintDialog::TQRPrintDialog(TPrinterDevice& platformPrinter, QObject* owner)
    : QObject(owner), platformPrinter_(&platformPrinter) {
    Runner = &TQRPrintDialog::RunSystemDialog;
}

TQRPrintDialog::~TQRPrintDialog() = default;

void TQRPrintDialog::SetCopies(int copies) {
    copies_ = copies;
    if (platformPrinter_->Printers().empty())
        return;
    TDevMode mode = platformPrinter_->DevMode();
    if (mode.dmFields & DM_COPIES) {
        mode.dmCopies = static_cast<std::int16_t>(copies);
        platformPrinter_->SetDevMode(mode);
    }
}

TPrintDialogSetup TQRPrintDialog::BuildSetup() const {
    TPrintDialogSetup s;
    if (!platformPrinter_->Printers().empty()) {
        s.PrinterName = platformPrinter_->DeviceName();
        const TDevMode mode = platformPrinter_->DevMode();
        s.Orientation = mode.dmOrientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait;
    }
    s.Range = PrintRange;
    s.Collate = Collate;
    s.ShowPrintToFile = (Options & poPrintToFile) != 0;
    s.EnablePrintToFile = (Options & poDisablePrintToFile) == 0;
    s.PrintToFile = PrintToFile;
    s.AllowPageNums = (Options & poPageNums) != 0;
    s.AllowSelection = (Options & poSelection) != 0;
    s.ShowHelp = (Options & poHelp) != 0;
    s.Warn = (Options & poWarning) != 0;
    s.FromPage = static_cast<std::uint16_t>(FromPage);
    s.ToPage = static_cast<std::uint16_t>(ToPage);
    s.MinPage = static_cast<std::uint16_t>(MinPage);
    s.MaxPage = static_cast<std::uint16_t>(MaxPage);
    s.Copies = copies_;
    return s;
}

bool TQRPrintDialog::RunDialog() {
    const TPrintDialogSetup setup = BuildSetup();
    if (OnShow)
        OnShow(this);
    std::optional<TPrintDialogChoice> choice = Runner ? Runner(setup) : std::nullopt;
    if (OnClose)
        OnClose(this);
    if (!choice)
        return false;
    TakeChoice(*choice);
    return true;
}

void TQRPrintDialog::TakeChoice(const TPrintDialogChoice& choice) {
    // Select the chosen printer, then hand it the chosen device settings.
    const std::vector<std::string> names = platformPrinter_->Printers();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == choice.PrinterName) {
            platformPrinter_->SetPrinterIndex(static_cast<int>(i));
            break;
        }
    }
    if (!names.empty()) {
        TDevMode mode = platformPrinter_->DevMode();
        if (mode.dmFields & DM_ORIENTATION)
            mode.dmOrientation = choice.Orientation == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
        // One copy returned leaves the printer's own copies in its device mode.
        if ((mode.dmFields & DM_COPIES) && choice.Copies != 1)
            mode.dmCopies = static_cast<std::int16_t>(choice.Copies);
        if (mode.dmFields & DM_DUPLEX)
            mode.dmDuplex = choice.Duplex ? DMDUP_VERTICAL : DMDUP_SIMPLEX;
        platformPrinter_->SetDevMode(mode);
    }
    Collate = choice.Collate;
    PrintToFile = choice.PrintToFile;
    PrintRange = choice.Range;
    FromPage = choice.FromPage;
    ToPage = choice.ToPage;
    if (choice.Copies == 1 && !names.empty())
        copies_ = platformPrinter_->DevMode().dmCopies;
    else
        copies_ = choice.Copies;
}

std::optional<TPrintDialogChoice> TQRPrintDialog::RunSystemDialog(const TPrintDialogSetup& setup) {
    QPrinter printer(QPrinter::HighResolution);
    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(setup.PrinterName));
    if (!info.isNull())
        printer.setPrinterName(info.printerName());
    printer.setCopyCount(setup.Copies > 0 ? setup.Copies : 1);
    printer.setCollateCopies(setup.Collate);
    printer.setPageOrientation(setup.Orientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);

    QPrintDialog dialog(&printer);
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    // A report without pages offers no page beyond the first.
    const int minPage = setup.MinPage;
    const int maxPage = setup.MaxPage < setup.MinPage ? setup.MinPage : setup.MaxPage;
    dialog.setMinMax(minPage, maxPage);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, setup.ShowPrintToFile && setup.EnablePrintToFile);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, setup.AllowPageNums);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, setup.AllowSelection);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    if (setup.AllowPageNums && setup.FromPage > 0 && setup.ToPage >= setup.FromPage)
        printer.setFromTo(setup.FromPage, setup.ToPage);
    switch (setup.Range) {
    case prSelection:
        dialog.setPrintRange(setup.AllowSelection ? QAbstractPrintDialog::Selection : QAbstractPrintDialog::AllPages);
        break;
    case prPageNums:
        dialog.setPrintRange(setup.AllowPageNums ? QAbstractPrintDialog::PageRange : QAbstractPrintDialog::AllPages);
        break;
    default:
        dialog.setPrintRange(QAbstractPrintDialog::AllPages);
        break;
    }
    // Placed a third of the way down the screen, once it has its size.
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->geometry();
            dialog.move(area.x() + (area.width() - dialog.width()) / 2,
                        area.y() + (area.height() - dialog.height()) / 3);
        }
    });
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;

    TPrintDialogChoice choice;
    choice.PrinterName = printer.printerName().toStdString();
    choice.Collate = printer.collateCopies();
    choice.PrintToFile = !printer.outputFileName().isEmpty();
    switch (dialog.printRange()) {
    case QAbstractPrintDialog::Selection: choice.Range = prSelection; break;
    case QAbstractPrintDialog::PageRange: choice.Range = prPageNums; break;
    default: choice.Range = prAllPages; break;
    }
    choice.FromPage = static_cast<std::uint16_t>(printer.fromPage());
    choice.ToPage = static_cast<std::uint16_t>(printer.toPage());
    choice.Copies = printer.copyCount();
    choice.Orientation = printer.pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
    choice.Duplex = printer.duplex() != QPrinter::DuplexNone;
    return choice;
}

} // namespace qrp
