#include "preview/QRPreview.h"

#include "platform/WindowMessages.h"
#include "preview/PageSheet.h"
#include "preview/QRPreviewImage.h"
#include "preview/QRPreviewInterface.h"
#include "printer/PrinterSettings.h"
#include "printer/QRPrinter.h"

#include <QResizeEvent>
#include <QScrollBar>

namespace qrp {

TQRPreview::TQRPreview(QWidget* parent) : QScrollArea(parent) {
    InstallStandardPreviewInterface();
    sheetArea_ = new QWidget;
    sheetArea_->resize(100, 50);
    pageImage_ = new TQRPreviewImage(sheetArea_);
    pageImage_->move(0, 0);
    setWidget(sheetArea_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    resize(250, 250);
}

TQRPreview::~TQRPreview() {
    if (reportSource_)
        SetReportSource(nullptr);
}

TQRPrinter* TQRPreview::ReportSource() const { return reportSource_; }
int TQRPreview::PageNumber() const { return pageNumber_; }
int TQRPreview::Zoom() const { return zoom_; }
TFitMode TQRPreview::FitMode() const { return fitMode_; }
TQRPreviewImage* TQRPreview::PageImage() const { return pageImage_; }

void TQRPreview::SetReportSource(TQRPrinter* p) {
    if (reportSource_) {
        if (reportSource_->ClientWindow() == this) {
            reportSource_->SetPreviewShowing(false);
            // The after-preview hook may have destroyed the printer; look again.
            if (reportSource_ && reportSource_->ClientWindow() == this)
                reportSource_->SetClientWindow(nullptr);
        }
        if (reportSource_)
            disconnect(reportSource_, nullptr, this, nullptr);
    }
    reportSource_ = p;
    pageImage_->SetReportSource(p);
    if (p) {
        // A printer that goes away while attached leaves the control detached rather
        // than pointing at freed memory.
        connect(p, &QObject::destroyed, this, [this] {
            reportSource_ = nullptr;
            pageImage_->SetReportSource(nullptr);
            pageImage_->LoadPage(1);
        });
        connect(p, &TQRPrinter::ReportChanged, this, [this] { FollowReport(); });
        p->SetClientWindow(this);
        p->SetPreviewShowing(true);
    }
    SetPageNumber(1);
    pageImage_->LoadPage(1);
    viewport()->update();
    pageImage_->MouseHandlers = MouseHandlers;
}

void TQRPreview::SetPageNumber(int v) {
    if ((v == pageNumber_ && pageImage_->HasPicture()) || v <= 0 || !reportSource_ ||
        v > reportSource_->PageTotal())
        return;
    pageImage_->LoadPage(v);
    pageNumber_ = v;
    ResetScroll(true);
}

void TQRPreview::SetZoom(int v) {
    if (v < 2 || v > 2000)
        return;
    fitMode_ = fmFixed;
    zoom_ = v;
    ApplyZoom();
}

void TQRPreview::ZoomAround(int v, QPoint anchor) {
    if (v < 2 || v > 2000)
        return;
    // The anchor's place on the page, in page pixels at zoom 100.
    const QPoint image = pageImage_->pos();
    const long double x = (horizontalScrollBar()->value() + anchor.x() - image.x()) * 100.0L / zoom_;
    const long double y = (verticalScrollBar()->value() + anchor.y() - image.y()) * 100.0L / zoom_;
    SetZoom(v);
    const QPoint moved = pageImage_->pos();
    horizontalScrollBar()->setValue(RoundHalfEven(moved.x() + x * zoom_ / 100.0L) - anchor.x());
    verticalScrollBar()->setValue(RoundHalfEven(moved.y() + y * zoom_ / 100.0L) - anchor.y());
}

bool TQRPreview::SourceHoldsPages() const {
    if (!reportSource_)
        return false;
    const TReportState state = reportSource_->State();
    return state == rsProducing || (state == rsFinished && reportSource_->PageTotal() > 0);
}

void TQRPreview::FollowReport() {
    pageNumber_ = 1;
    pageImage_->LoadPage(1);
    // The new report may have another paper, or none at all.
    RefitOnResize();
    if (OnReportChanged)
        OnReportChanged(this);
}

void TQRPreview::SheetSizeAtZoom100(long double& w, long double& h) const {
    qrp::SheetSizeAtZoom100(reportSource_, w, h);
}

void TQRPreview::FitWholePage() {
    long double pw = 0, pl = 0;
    SheetSizeAtZoom100(pw, pl);
    // A source whose paper measures nothing gives no zoom to fit to.
    if (pw > 0 && pl > 0) {
        const int a = RoundHalfEven(static_cast<long double>(width()) / pw * 95.0L);
        const int b = RoundHalfEven(static_cast<long double>(height()) / pl * 95.0L);
        SetZoom(a < b ? a : b);
    }
    fitMode_ = fmWholePage;
}

void TQRPreview::FitPageWidth() {
    long double pw = 0, pl = 0;
    SheetSizeAtZoom100(pw, pl);
    const long double share = reportSource_ ? 90.0L : 95.0L;
    if (pw > 0)
        SetZoom(RoundHalfEven(static_cast<long double>(width()) / pw * share));
    ApplyZoom();
    fitMode_ = fmPageWidth;
}

void TQRPreview::ApplyZoom() {
    const QSize size = PageImageSize(reportSource_, zoom_);
    const int w = size.width();
    const int h = size.height();
    // Centred on the control's outer size, by integer halving.
    const int left = w < width() ? (width() - w) / 2 : 0;
    const int top = h < height() ? (height() - h) / 2 : 0;
    pageImage_->setGeometry(left, top, w, h);
    // The scrolled area covers the image, so the scroll ranges follow its extent; a
    // printer that holds no page gives nothing to scroll over.
    if (reportSource_ && !SourceHoldsPages())
        sheetArea_->resize(0, 0);
    else
        sheetArea_->resize(left + w, top + h);
    ResetScroll(false);
    pageImage_->SetZoomPercent(zoom_);
}

void TQRPreview::RefitOnResize() {
    if (fitMode_ == fmWholePage)
        FitWholePage();
    else if (fitMode_ == fmPageWidth)
        FitPageWidth();
    ApplyZoom();
}

void TQRPreview::ShowAwaitedPage() {
    if (reportSource_ && !pageImage_->HasPicture() &&
        pageImage_->ShownPage() <= reportSource_->PagesReady()) {
        FitPageWidth();
        pageImage_->LoadPage(pageImage_->ShownPage());
    }
}

void TQRPreview::ResetScroll(bool verticalFirst) {
    if (verticalFirst) {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
    } else {
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
    }
}

bool TQRPreview::event(QEvent* e) {
    if (e->type() == TWindowMessage::EventType()) {
        auto* m = static_cast<TWindowMessage*>(e);
        const int low = static_cast<int>(static_cast<std::uint16_t>(m->WParam & 0xFFFF));
        if (m->Msg == MsgPageReady) {
            if (low == pageNumber_)
                ShowAwaitedPage();
            if (OnPageAvailable)
                OnPageAvailable(this, low);
            e->accept();
            return true;
        }
        if (m->Msg == MsgProgress) {
            if (OnProgressUpdate)
                OnProgressUpdate(this, low);
            e->accept();
            return true;
        }
        return false;
    }
    return QScrollArea::event(e);
}

void TQRPreview::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    RefitOnResize();
}

} // namespace qrp
