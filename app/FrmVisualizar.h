#pragma once
// The preview window: the report held by the shared printer, one page at a time, with
// page navigation, zoom by steps of 10, fits, printing and closing.
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QToolButton;

namespace qrp {

class TFindBar;
class TQRPreview;

class TFrmVisualizar : public QWidget {
    Q_OBJECT
public:
    explicit TFrmVisualizar(QWidget* parent = nullptr);
    ~TFrmVisualizar() override;

    void SpdPrimerClick();
    void SpdAnteriorClick();
    void SpdSiguienteClick();
    void SpdUltimoClick();
    void AumentaClick();
    void DisminuyeClick();
    // Ctrl+plus and Ctrl+minus: a step of 10 that keeps the centre of the view in place.
    void ZoomInAtCentre();
    void ZoomOutAtCentre();
    void SpeedButton3Click();  // fit to width
    void SpeedButton4Click();  // fit to page
    void SpeedButton2Click();  // print
    void SpeedButton7Click();  // close
    // Ctrl+G: asks for a page number and shows that page.
    void GoToPageClick();

    // Shows the window (maximized the first time) and brings it to the front.
    void ShowAndFront();
    // The page field and the navigation buttons as for a report just attached: page 1
    // and every button enabled, or 0 and every button disabled when no page is held.
    void RefreshNavigation();
    // Writes the page total of the shown report into Edtnumpagina (0 when none is held).
    void WritePageCount();
    // Pages of the shown report: 0 without one, or while the printer holds none.
    int PagesHeld() const;

    // Asks for the page of "Ir a la página" (current page, page total); nullopt when
    // cancelled. A dialog unless replaced.
    std::function<std::optional<int>(int current, int total)> PageAsker;

    QWidget* Panel1 = nullptr;
    QToolButton* SpdPrimer = nullptr;
    QToolButton* SpdAnterior = nullptr;
    QToolButton* SpdSiguiente = nullptr;
    QToolButton* SpdUltimo = nullptr;
    QToolButton* Aumenta = nullptr;
    QToolButton* Disminuye = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edtpagina = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edtnumpagina = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton7 = nullptr;
    TQRPreview* QRPrev = nullptr;
    // Find (Ctrl+F, F3, Shift+F3, Escape) and copy of the page's text (Ctrl+C, Ctrl+A).
    TFindBar* FindBar = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void WritePageNumber();
    // Ctrl + wheel: a step of 10 that keeps the point under the pointer in place.
    void ZoomStepAround(int step, QPoint anchor);
    bool shownOnce_ = false;
    // Where the window goes when it leaves the maximized state.
    QRect normalGeometry_;
};

} // namespace qrp
