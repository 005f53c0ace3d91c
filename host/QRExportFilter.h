#pragma once
// The interface an export filter offers the report host while the host regenerates a
// report into it: started with the page size before the engine runs, finished after.
#include <QFont>
#include <QObject>

namespace qrp {

class TQRPrinter;
class TQRReport;

class TQRExportFilter : public QObject {
    Q_OBJECT
public:
    explicit TQRExportFilter(QObject* parent = nullptr) : QObject(parent) {}

    bool Active() const { return active_; }
    // pageWidth and pageLength in report units, rounded.
    virtual void Start(int pageWidth, int pageLength, const QFont& font) {
        (void)pageWidth; (void)pageLength; (void)font;
        active_ = true;
    }
    virtual void Finish() { active_ = false; }

    TQRReport* Report = nullptr;
    TQRPrinter* Printer = nullptr;

private:
    bool active_ = false;
};

} // namespace qrp
