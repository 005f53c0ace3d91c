#pragma once
// The preview control: a scrolling box that shows one page of a report printer on a
// white sheet with a frame and a shadow, at a zoom from 2 to 2000 percent.
#include <QScrollArea>
#include <cstdint>
#include <functional>

class QMouseEvent;

namespace qrp {

class TQRPrinter;
class TQRPreviewImage;

enum TFitMode : std::uint8_t { fmWholePage = 0, fmPageWidth = 1, fmFixed = 2 };

using TQRPageAvailableEvent = std::function<void(QObject* Sender, int PageNum)>;
using TQRProgressUpdateEvent = std::function<void(QObject* Sender, int Progress)>;
// Mouse handlers of the control; copied to the page image when a source is attached,
// so clicks on the page reach the host window's handlers.
using TPreviewClickEvent = std::function<void(QObject* Sender)>;
using TPreviewMouseEvent = std::function<void(QObject* Sender, QMouseEvent* Event)>;

struct TPreviewMouseHandlers {
    TPreviewClickEvent OnClick;
    TPreviewClickEvent OnDblClick;
    TPreviewMouseEvent OnMouseDown;
    TPreviewMouseEvent OnMouseMove;
    TPreviewMouseEvent OnMouseUp;
};

class TQRPreview : public QScrollArea {
    Q_OBJECT
public:
    explicit TQRPreview(QWidget* parent = nullptr);
    ~TQRPreview() override;

    void SetReportSource(TQRPrinter* p);
    TQRPrinter* ReportSource() const;

    int PageNumber() const;
    // Shows page v when it exists (1..PageTotal) and is not already shown.
    void SetPageNumber(int v);

    int Zoom() const;
    // Fixed zoom; values outside 2..2000 change nothing.
    void SetZoom(int v);
    // Fixed zoom that keeps the point of the page under `anchor` (viewport pixels)
    // where it is, as far as the scroll range allows.
    void ZoomAround(int v, QPoint anchor);

    TFitMode FitMode() const;

    void FitWholePage();
    void FitPageWidth();
    // Sizes, centres and scrolls the page image for the current zoom.
    void ApplyZoom();
    // Resize handler: reapplies the fit mode, then re-centres.
    void RefitOnResize();
    // Loads the shown page once the printer reports it ready.
    void ShowAwaitedPage();

    TQRPreviewImage* PageImage() const;

    TQRPageAvailableEvent OnPageAvailable;
    // The attached printer's report was cleared or reloaded; the control shows its page 1.
    std::function<void(QObject* Sender)> OnReportChanged;
    TQRProgressUpdateEvent OnProgressUpdate;
    // The control's mouse handlers, passed on to the image at the next attach.
    TPreviewMouseHandlers MouseHandlers;

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void ResetScroll(bool verticalFirst);
    void FollowReport();
    // The attached printer holds pages to show (or is producing them).
    bool SourceHoldsPages() const;
    void SheetSizeAtZoom100(long double& w, long double& h) const;

    QWidget* sheetArea_ = nullptr; // the scroll area's widget; covers the image's extent
    TQRPreviewImage* pageImage_ = nullptr;
    int pageNumber_ = 1;
    TQRPrinter* reportSource_ = nullptr;
    int zoom_ = 100;
    TFitMode fitMode_ = fmFixed;
};

} // namespace qrp
