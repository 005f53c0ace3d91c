#pragma once
// The page image of the preview control: holds one page picture and draws it.
#include "preview/QRPreview.h"

#include <QWidget>
#include <memory>

namespace qrp {

class TMetafile;

class TQRPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TQRPreviewImage(QWidget* parent = nullptr);
    ~TQRPreviewImage() override;

    TQRPrinter* ReportSource() const { return reportSource_; }
    void SetReportSource(TQRPrinter* p) { reportSource_ = p; }

    int ShownPage() const { return shownPage_; }
    bool HasPicture() const { return pageMetafile_ != nullptr; }
    const TMetafile* PageMetafile() const { return pageMetafile_.get(); }
    int ZoomPercent() const { return zoomPercent_; }
    void SetZoomPercent(int z) { zoomPercent_ = z; }

    // Takes page n from the source (releasing the held picture) and draws it at once.
    void LoadPage(int n);
    // Paints the page onto the image now.
    void DrawPage();

    TPreviewMouseHandlers MouseHandlers;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    TQRPrinter* reportSource_ = nullptr;
    int shownPage_ = 1;
    std::unique_ptr<TMetafile> pageMetafile_;
    int zoomPercent_ = 100;
};

} // namespace qrp
