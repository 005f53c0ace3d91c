#pragma once
// A plain preview window: a preview control with page and zoom buttons. Used when a
// report printer is asked to show itself and no preview hook is set.
#include <QDialog>

class QLabel;

namespace qrp {

class TQRPrinter;
class TQRPreview;

class TQRStockPreviewWindow : public QDialog {
    Q_OBJECT
public:
    explicit TQRStockPreviewWindow(TQRPrinter* printer, QWidget* parent = nullptr);
    ~TQRStockPreviewWindow() override;

    TQRPreview* Preview() const { return preview_; }
    // Page n of the report, or the first or last page when n is outside it.
    void GoToPage(int n);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void UpdatePageLabel();

    TQRPreview* preview_ = nullptr;
    QLabel* pageLabel_ = nullptr;
};

} // namespace qrp
