#pragma once
// The hidden report host form: owns the report component QRReporte20, creates the
// shared report printer, and drives the preview window when a report is previewed.
#include <QWidget>

namespace qrp {

class TQRReport;

class TFrmReporte : public QWidget {
    Q_OBJECT
public:
    explicit TFrmReporte(QWidget* parent = nullptr);
    ~TFrmReporte() override;

    // The report component's preview event: shows SharedQRPrinter in the preview window.
    void QRReporte20Preview(QObject* Sender);
    // Writes the page total of the report on display into the preview window.
    void ShowPageCount();

    TQRReport* QRReporte20 = nullptr;

private:
    void FormCreate();
};

} // namespace qrp
