#pragma once
// The small always-on-top window shown while the host prints or exports by running the
// report again: a bar and a percentage text fed by the printer's progress messages, and
// a button that asks the printer to stop.
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qrp {

class TQRPrinter;

class TQRProgressForm : public QDialog {
    Q_OBJECT
public:
    explicit TQRProgressForm(QWidget* parent = nullptr);
    ~TQRProgressForm() override;

    TQRPrinter* WatchedPrinter = nullptr; // not owned

    QProgressBar* Gauge() const { return gauge_; }
    QLabel* Info() const { return info_; }
    QPushButton* CancelButton() const { return cancelButton_; }

    // Reads the watched printer's progress; only multiples of 5 change the window.
    void ProgressMessage();
    void CancelButtonClick();

protected:
    bool event(QEvent* e) override;

private:
    QProgressBar* gauge_ = nullptr;
    QLabel* info_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace qrp
