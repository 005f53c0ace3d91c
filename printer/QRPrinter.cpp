#include "printer/QRPrinter.h"

#include "base/ScreenMetrics.h"
#include "emf/MetafileCanvas.h"
#include "printer/PreviewInterfaceBase.h"
#include "storage/PageList.h"

#include <QPainter>
#include <cmath>

namespace qrp {

TQRPrinter::TQRPrinter() : TQRPrinter(CreateSystemPrinterDevice(), ApplicationPrinterIndex()) {}

TQRPrinter::TQRPrinter(std::unique_ptr<TPrinterDevice> device, int applicationIndex)
    : devicePrinter_(std::move(device))
{
    Construct(applicationIndex);
}

void TQRPrinter::Construct(int applicationIndex)
{
    const int printers = static_cast<int>(devicePrinter_->Printers().size());
    hasPrinters_ = printers > 0;
    deviceSettings_ = std::make_unique<TPrinterSettings>();
    if (hasPrinters_) {
        deviceSettings_->AttachPrinter(devicePrinter_.get());
        ProcessPendingMessages();
        if (applicationIndex < printers)
            devicePrinter_->SetPrinterIndex(applicationIndex);
    }
    topUnprintable_ = deviceSettings_->PhysicalTop();
    leftUnprintable_ = deviceSettings_->PhysicalLeft();
    destination_ = rdPages;
    state_ = rsReady;
    currentPageNo_ = 0;
    pageList_ = std::make_unique<TQRPageList>();
    pagesReady_ = 0;
    horzScale_ = vertScale_ = 1.0L;
}

TQRPrinter::~TQRPrinter()
{
    if (state_ != rsReady)
        ClearReport();
    DiscardPictureCanvas();
    if (devicePrinter_ && devicePrinter_->Printing())
        devicePrinter_->Abort();
}

void TQRPrinter::SetScreenScales()
{
    horzScale_ = static_cast<long double>(ScreenPixelsPerInch()) / 254;
    vertScale_ = horzScale_;
}

void TQRPrinter::SetDeviceScales()
{
    horzScale_ = static_cast<long double>(devicePrinter_->DeviceCaps(LOGPIXELSX)) / 254;
    vertScale_ = static_cast<long double>(devicePrinter_->DeviceCaps(LOGPIXELSY)) / 254;
}

void TQRPrinter::RequireNotPrinting() const
{
    if (printingPages_)
        throw EQRError("No se puede cambiar el reporte mientras se imprime");
}

void TQRPrinter::LoadReport(const std::string& fileName)
{
    RequireNotPrinting();
    // Whoever shows this printer learns of the new report, loaded or not.
    struct TNotify {
        TQRPrinter* Printer;
        ~TNotify() { Q_EMIT Printer->ReportChanged(); }
    } notify{this};
    if (state_ != rsReady)
        ClearReport();
    firstPageWidth_ = firstPageHeight_ = 0;
    pageList_->OpenFile(fileName);
    pageTotal_ = pageList_->Count();
    SetScreenScales();
    if (pageTotal_ > 0) {
        const std::unique_ptr<TMetafile> first = pageList_->ReadPage(1);
        if (first) {
            firstPageWidth_ = first->Width();
            firstPageHeight_ = first->Height();
            DetectPaper();
        }
    }
    ownsReportStream_ = true;
    state_ = rsFinished;
    PrintSetupHook = nullptr;
    ExportHook = nullptr;
    loadedFromFile_ = true;
}

// The paper whose sides, in whole steps of 4 mm, equal the first page's; every match
// overwrites an earlier one, and the settings refuse what the device does not offer.
void TQRPrinter::DetectPaper()
{
    const long double width = firstPageWidth_;
    const long double height = firstPageHeight_;
    const long long w = static_cast<long long>(std::trunc(width / horzScale_ / 40));
    const long long h = static_cast<long long>(std::trunc(height / horzScale_ / 40));
    for (int s = static_cast<int>(TQRPaperSize::Letter); s <= static_cast<int>(TQRPaperSize::ESheet); ++s) {
        const long long W = static_cast<long long>(std::trunc(PaperMetrics[s - 1][0] / 4));
        const long long L = static_cast<long long>(std::trunc(PaperMetrics[s - 1][1] / 4));
        const auto size = static_cast<TQRPaperSize>(s);
        if (w == W && h == L) {
            deviceSettings_->SetPaperSize(size);
            deviceSettings_->SetOrientation(poPortrait);
        }
        if (h == W && w == L) {
            deviceSettings_->SetPaperSize(size);
            deviceSettings_->SetOrientation(poLandscape);
        }
    }
}

void TQRPrinter::SaveReport(const std::string& fileName)
{
    if (state_ == rsFinished)
        pageList_->CopyToFile(fileName);
}

void TQRPrinter::ClearReport()
{
    RequireNotPrinting();
    if (state_ == rsProducing)
        RequestCancel();
    if (ownsReportStream_) {
        pageList_->SetStorage(nullptr);
        ownsReportStream_ = false;
    }
    pageList_->ResetCount();
    state_ = rsReady;
    Q_EMIT ReportChanged();
}

std::unique_ptr<TMetafile> TQRPrinter::PagePicture(int pageNo)
{
    if ((state_ == rsProducing || state_ == rsFinished) && pageNo >= 1 && pageNo <= pageTotal_)
        return pageList_->ReadPage(pageNo);
    return nullptr;
}

void TQRPrinter::SetCurrentPage(int pageNo)
{
    if (currentPageNo_ < 1 || currentPageNo_ > pageTotal_)
        return;
    currentPagePicture_.reset();
    currentPagePicture_ = PagePicture(pageNo);
    currentPageNo_ = pageNo;
}

void TQRPrinter::SetPagesReady(int count)
{
    pagesReady_ = count;
    PostWindowMessage(clientWindow_, MsgPageReady, count, 0);
}

void TQRPrinter::ReportProgress(int percent)
{
    progressValue_ = percent;
    PostWindowMessage(clientWindow_, MsgProgress, percent, 0);
}

void TQRPrinter::ShowPreview()
{
    if (PreviewHook) {
        PreviewHook(this);
        return;
    }
    previewWindow_ = nullptr;
    if (const auto& factory = PreviewInterfaceFactory()) {
        const std::unique_ptr<TQRPreviewInterfaceBase> service = factory();
        if (service)
            previewWindow_ = service->OpenPreview(this);
    }
}

void TQRPrinter::SetPreviewShowing(bool v)
{
    struct TAssign {
        bool& Field;
        bool Value;
        ~TAssign() { Field = Value; }
    } assign{previewShowing_, v};
    if (previewShowing_ && !v) {
        if (state_ == rsProducing)
            RequestCancel();
        if (AfterPreviewHook)
            AfterPreviewHook(this);
    }
}

void TQRPrinter::RequestPreviewClose()
{
    if (hostWindow_)
        SendWindowMessage(hostWindow_, MsgClosePreview, 0, reinterpret_cast<std::intptr_t>(this));
}

void TQRPrinter::RunPrintSetup()
{
    if (PrintSetupHook)
        PrintSetupHook();
}

void TQRPrinter::ExportReport(QObject* filter)
{
    if (ExportHook)
        ExportHook(filter);
}

void TQRPrinter::SelectPrinter(int index)
{
    if (!hasPrinters_)
        return;
    devicePrinter_->SetPrinterIndex(index);
    deviceSettings_->ReloadDriverDefaults(*devicePrinter_);
    deviceSettings_->ReadFromDevice();
    // The queue's default paper replaced the report's; the report's own comes back
    // where this queue offers it, so that it is not printed stretched onto another.
    if (loadedFromFile_ && state_ == rsFinished && firstPageWidth_ > 0 && firstPageHeight_ > 0)
        DetectPaper();
}

void TQRPrinter::UpdatePrinterList()
{
    devicePrinter_->RefreshPrinters();
    const bool had = hasPrinters_;
    hasPrinters_ = !devicePrinter_->Printers().empty();
    if (hasPrinters_ && !had) {
        // Printers appeared since construction (the print system started later): the
        // settings read the device now, as construction would have.
        deviceSettings_->AttachPrinter(devicePrinter_.get());
        topUnprintable_ = deviceSettings_->PhysicalTop();
        leftUnprintable_ = deviceSettings_->PhysicalLeft();
        if (loadedFromFile_ && state_ == rsFinished && firstPageWidth_ > 0 && firstPageHeight_ > 0)
            DetectPaper();
    }
}

void TQRPrinter::SetCompressed(bool v) { pageList_->SetCompressed(v); }
bool TQRPrinter::Compressed() const { return pageList_->Compressed(); }

int TQRPrinter::Copies() const { return deviceSettings_->Copies(); }
void TQRPrinter::SetCopies(int copies) { deviceSettings_->SetCopies(copies); }
TQRBin TQRPrinter::OutputBin() const { return deviceSettings_->OutputBin(); }
void TQRPrinter::SetOutputBin(TQRBin bin) { deviceSettings_->SetOutputBin(bin); }
TPrinterOrientation TQRPrinter::Orientation() const { return deviceSettings_->Orientation(); }
void TQRPrinter::SetOrientation(TPrinterOrientation o) { deviceSettings_->SetOrientation(o); }
TQRPaperSize TQRPrinter::PaperSize() const { return deviceSettings_->PaperSize(); }
void TQRPrinter::SetPaperSize(TQRPaperSize size) { deviceSettings_->SetPaperSize(size); }
int TQRPrinter::PaperWidth() const { return deviceSettings_->PaperWidth(); }
void TQRPrinter::SetPaperWidth(int width) { deviceSettings_->SetPaperWidth(width); }
int TQRPrinter::PaperLength() const { return deviceSettings_->PaperLength(); }
void TQRPrinter::SetPaperLength(int length) { deviceSettings_->SetPaperLength(length); }

int TQRPrinter::OrientedPaperWidth() const
{
    return Orientation() == poPortrait ? deviceSettings_->PaperWidth() : deviceSettings_->PaperLength();
}

int TQRPrinter::OrientedPaperLength() const
{
    return Orientation() == poPortrait ? deviceSettings_->PaperLength() : deviceSettings_->PaperWidth();
}

int TQRPrinter::ToDeviceX(long double x) const { return RoundHalfEven((x - leftUnprintable_) * horzScale_); }
int TQRPrinter::ToDeviceY(long double y) const { return RoundHalfEven((y - topUnprintable_) * vertScale_); }
int TQRPrinter::ToDeviceWidth(long double w) const { return RoundHalfEven(w * horzScale_); }
int TQRPrinter::ToDeviceHeight(long double h) const { return RoundHalfEven(h * vertScale_); }

} // namespace qrp
