#pragma once
// The print settings dialog of the report host, over the system's print dialog: a
// printer, copies, collation and a page range, chosen for the application's printer.
#include "printer/PrinterSettings.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qrp {

class TPrinterDevice;

enum TPrintDialogOption : unsigned {
    poPrintToFile = 1u << 0,
    poPageNums = 1u << 1,
    poSelection = 1u << 2,
    poWarning = 1u << 3,
    poHelp = 1u << 4,
    poDisablePrintToFile = 1u << 5,
};
using TPrintDialogOptions = unsigned;

enum TPrintRange : std::uint8_t { prAllPages = 0, prSelection = 1, prPageNums = 2 };

// What the system dialog is opened with.
struct TPrintDialogSetup {
    std::string PrinterName;
    TPrintRange Range = prAllPages;
    bool Collate = false;
    bool ShowPrintToFile = false;
    bool EnablePrintToFile = true;
    bool PrintToFile = false;
    bool AllowPageNums = false;
    bool AllowSelection = false;
    bool ShowHelp = false;
    bool Warn = false;
    // Page numbers travel to the dialog as 16-bit values.
    std::uint16_t FromPage = 0, ToPage = 0, MinPage = 0, MaxPage = 0;
    int Copies = 1;
    TPrinterOrientation Orientation = poPortrait;
};

// What the user chose when accepting it.
struct TPrintDialogChoice {
    std::string PrinterName;
    TPrintRange Range = prAllPages;
    bool Collate = false;
    bool PrintToFile = false;
    std::uint16_t FromPage = 0, ToPage = 0;
    int Copies = 1;
    TPrinterOrientation Orientation = poPortrait;
    bool Duplex = false;
};

class TQRPrintDialog : public QObject {
    Q_OBJECT
public:
    // Works on the application-wide printer.
    explicit TQRPrintDialog(QObject* owner = nullptr);
    // Works on the given printer (not owned).
    TQRPrintDialog(TPrinterDevice& platformPrinter, QObject* owner = nullptr);
    ~TQRPrintDialog() override;

    TPrinterDevice& PlatformPrinter() const { return *platformPrinter_; }

    bool Collate = false;
    int FromPage = 0;
    int MinPage = 0;
    int MaxPage = 0;
    TPrintDialogOptions Options = 0;
    bool PrintToFile = false;
    TPrintRange PrintRange = prAllPages;
    int ToPage = 0;
    bool Ctl3D = true;
    int HelpContext = 0;
    std::function<void(QObject* Sender)> OnShow;
    std::function<void(QObject* Sender)> OnClose;

    int Copies() const { return copies_; }
    // Also sets the platform printer's copies.
    void SetCopies(int copies);

    // Shows the dialog modally; true when the user accepted.
    bool RunDialog();

    // The dialog's opening state from the properties.
    TPrintDialogSetup BuildSetup() const;
    // Takes an accepted choice: selects the printer and copies the result back.
    void TakeChoice(const TPrintDialogChoice& choice);

    // Runs the system dialog; nullopt when cancelled. Replaceable, e.g. to answer
    // without a user.
    std::function<std::optional<TPrintDialogChoice>(const TPrintDialogSetup&)> Runner;

    // The system dialog over Qt's print dialog.
    static std::optional<TPrintDialogChoice> RunSystemDialog(const TPrintDialogSetup& setup);

private:
    TPrinterDevice* platformPrinter_;
    int copies_ = 0;
};

} // namespace qrp
