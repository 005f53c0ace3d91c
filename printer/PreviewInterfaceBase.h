#pragma once
// The service that opens a preview window for a report printer. The preview library
// installs its factory; the printer only knows this base, so it never depends on it.
#include <functional>
#include <memory>

class QObject;

namespace qrp {

class TQRPrinter;

class TQRPreviewInterfaceBase {
public:
    virtual ~TQRPreviewInterfaceBase() = default;
    // Opens a preview of the printer's report and returns its window.
    virtual QObject* OpenPreview(TQRPrinter* printer) = 0;
    virtual QObject* OpenPreviewModal(TQRPrinter* printer) = 0;
};

using TPreviewInterfaceFactory = std::function<std::unique_ptr<TQRPreviewInterfaceBase>()>;

// Installs the factory ShowPreview uses (an empty function removes it).
void SetPreviewInterfaceFactory(TPreviewInterfaceFactory factory);
const TPreviewInterfaceFactory& PreviewInterfaceFactory();

} // namespace qrp
