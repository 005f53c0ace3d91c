// Producing a report: pages drawn by a producer between StartNewPage calls, recorded
// as page pictures into the page list, or sent straight to the device.
#include "printer/QRPrinter.h"

#include "emf/MetafileCanvas.h"
#include "storage/PageList.h"
#include "storage/QRStream.h"

#include <QPainter>

namespace qrp {

namespace {
// A produced report stays in memory up to this size, then moves to a temporary file.
constexpr std::int32_t ProductionResidentLimit = 100000;
} // namespace

void TQRPrinter::BeginReport()
{
    DiscardPictureCanvas();
    pagesReady_ = 0;
    cancelRequested_ = false;
    if (destination_ == rdPrinter)
        deviceSettings_->ApplyToDevice();
    if (destination_ == rdPrinter) {
        topUnprintable_ = deviceSettings_->PhysicalTop();
        leftUnprintable_ = deviceSettings_->PhysicalLeft();
    } else {
        topUnprintable_ = 0;
        leftUnprintable_ = 0;
    }
    if (state_ != rsReady)
        throw EQRError("QRPrinter not ready");
    currentPageNo_ = 0;
    pageTotal_ = 0;
    state_ = rsProducing;
    if (destination_ == rdPages) {
        pageList_->SetStorage(std::make_unique<TQRStream>(ProductionResidentLimit));
        ownsReportStream_ = true;
        SetScreenScales();
    } else {
        SetDeviceScales();
    }
}

void TQRPrinter::StartNewPage()
{
    if (state_ != rsProducing)
        throw EQRError("Illegal call to NewPage");
    if (currentPageNo_ > 0) {
        if (destination_ == rdPages) {
            AppendPageUnderConstruction();
        } else if (PageInRange()) {
            CloseDevicePage();
        } else {
            DiscardPictureCanvas();
        }
        SetPagesReady(pagesReady_ + 1);
    }
    ++pageTotal_;
    ++currentPageNo_;
    if (destination_ == rdPrinter && PageInRange())
        OpenDeviceCanvas();
    else
        OpenPictureCanvas();
}

void TQRPrinter::EndReport()
{
    if (state_ != rsProducing)
        return;
    if (destination_ == rdPrinter) {
        DiscardPictureCanvas();
        if (devicePrinter_->Printing())
            devicePrinter_->EndDoc();
    } else if (pageTotal_ > 0) {
        AppendPageUnderConstruction();
    }
    pageCanvas_ = nullptr;
    state_ = rsFinished;
    ProcessPendingMessages();
    SetPagesReady(pagesReady_ + 1);
    if (destination_ == rdPages) {
        pageList_->Complete();
    } else if (AfterPrintHook) {
        AfterPrintHook(this);
    }
}

void TQRPrinter::AbortReport()
{
    if (destination_ == rdPrinter) {
        DiscardPictureCanvas();
        if (devicePrinter_->Printing())
            devicePrinter_->Abort();
    } else if (pictureCanvas_ && pageList_->Storage()) {
        AppendPageUnderConstruction();
    } else {
        DiscardPictureCanvas();
    }
    pageCanvas_ = nullptr;
    state_ = rsFinished;
}

bool TQRPrinter::PageInRange() const
{
    return (firstPage_ <= 0 || pageTotal_ >= firstPage_) && (lastPage_ <= 0 || pageTotal_ <= lastPage_);
}

void TQRPrinter::OpenPictureCanvas()
{
    DiscardPictureCanvas();
    pageUnderConstruction_ = std::make_unique<TMetafile>();
    pageUnderConstruction_->SetWidth(ToDeviceWidth(OrientedPaperWidth()));
    pageUnderConstruction_->SetHeight(ToDeviceHeight(OrientedPaperLength()));
    pictureCanvas_ = std::make_unique<TMetafileCanvas>(*pageUnderConstruction_);
    picturePainter_ = std::make_unique<QPainter>(pictureCanvas_.get());
    pageCanvas_ = picturePainter_.get();
    SetScreenScales();
}

void TQRPrinter::ClosePictureCanvas()
{
    if (picturePainter_) {
        if (picturePainter_->isActive())
            picturePainter_->end();
        picturePainter_.reset();
    }
    if (pictureCanvas_) {
        pictureCanvas_->Finish();
        pictureCanvas_.reset();
    }
    pageCanvas_ = nullptr;
}

// Ends the open picture page, if any, and throws its picture away.
void TQRPrinter::DiscardPictureCanvas()
{
    ClosePictureCanvas();
    pageUnderConstruction_.reset();
}

// Completes the open picture page and adds it to the page list.
void TQRPrinter::AppendPageUnderConstruction()
{
    ClosePictureCanvas();
    if (pageUnderConstruction_) {
        const std::unique_ptr<TMetafile> page = std::move(pageUnderConstruction_);
        pageList_->AppendPage(*page);
    }
}

void TQRPrinter::OpenDeviceCanvas()
{
    // A page opened by CloseDevicePage's NewPage is the one this report page is drawn
    // on, so each printed report page makes exactly one device page.
    if (devicePrinter_->Printing()) {
        devicePrinter_->StartPage();
    } else {
        devicePrinter_->SetTitle(jobTitle_);
        devicePrinter_->BeginDoc();
    }
    pageCanvas_ = devicePrinter_->Canvas();
    SetDeviceScales();
}

void TQRPrinter::CloseDevicePage()
{
    pageCanvas_ = nullptr;
    if (devicePrinter_->Printing() && pageTotal_ != lastPage_)
        devicePrinter_->NewPage();
}

} // namespace qrp
