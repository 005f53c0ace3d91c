#include "platform/ScriptedPrinterDevice.h"

#include <algorithm>

namespace qrp {

TScriptedPrinterDevice::TScriptedPrinterDevice(std::vector<TScriptedQueue> queues, int defaultIndex)
    : queues_(std::move(queues)), defaultIndex_(defaultIndex), systemQueues_(queues_), systemDefault_(defaultIndex)
{
    if (!queues_.empty())
        index_ = defaultIndex_;
}

void TScriptedPrinterDevice::Record(const std::string& call)
{
    Calls.push_back(call);
    if (OnCall)
        OnCall(call);
}

const TScriptedQueue& TScriptedPrinterDevice::Queue() const
{
    static const TScriptedQueue none;
    return index_ >= 0 ? queues_[index_] : none;
}

std::vector<std::string> TScriptedPrinterDevice::Printers() const
{
    std::vector<std::string> names;
    for (const auto& q : queues_)
        names.push_back(q.Name);
    return names;
}

void TScriptedPrinterDevice::ChangeSystemQueues(std::vector<TScriptedQueue> queues, int defaultIndex)
{
    systemQueues_ = std::move(queues);
    systemDefault_ = defaultIndex;
}

void TScriptedPrinterDevice::RefreshPrinters()
{
    Record("RefreshPrinters");
    if (printing_)
        return;
    const std::string selected = DeviceName();
    queues_ = systemQueues_;
    defaultIndex_ = systemDefault_;
    const auto it = std::find_if(queues_.begin(), queues_.end(),
                                 [&](const TScriptedQueue& q) { return q.Name == selected; });
    if (!selected.empty() && it != queues_.end()) {
        index_ = static_cast<int>(it - queues_.begin());
    } else {
        index_ = queues_.empty() ? -1 : defaultIndex_;
        haveMode_ = false;
    }
}

void TScriptedPrinterDevice::SetPrinterIndex(int index)
{
    Record("SetPrinterIndex " + std::to_string(index));
    if (index == -1)
        index = queues_.empty() ? -1 : defaultIndex_;
    else if (index < 0 || index >= static_cast<int>(queues_.size()))
        throw EPrinterError("Printer index out of range");
    if (printing_)
        throw EPrinterError("Printing in progress");
    index_ = index;
    haveMode_ = false;
}

std::string TScriptedPrinterDevice::DeviceName() const { return index_ >= 0 ? Queue().Name : ""; }
std::string TScriptedPrinterDevice::DriverName() const { return index_ >= 0 ? Queue().Driver : ""; }
std::string TScriptedPrinterDevice::PortName() const { return index_ >= 0 ? Queue().Port : ""; }
std::optional<std::string> TScriptedPrinterDevice::DriverPath() const { return Queue().DriverPath; }

TDevMode TScriptedPrinterDevice::DevMode()
{
    if (!haveMode_) {
        mode_ = Queue().Defaults;
        haveMode_ = true;
    }
    return mode_;
}

void TScriptedPrinterDevice::SetDevMode(const TDevMode& mode)
{
    Record("SetDevMode");
    AppliedModes.push_back(mode);
    mode_ = mode;
    haveMode_ = true;
}

void TScriptedPrinterDevice::ReleaseDevMode()
{
    Record("ReleaseDevMode");
    haveMode_ = false;
}

int TScriptedPrinterDevice::DeviceCaps(TDeviceCap cap)
{
    if (index_ < 0)
        return 0;
    const TScriptedQueue& q = Queue();
    const bool landscape = DevMode().dmOrientation == DMORIENT_LANDSCAPE;
    const int w = landscape ? q.PhysicalHeight : q.PhysicalWidth;
    const int h = landscape ? q.PhysicalWidth : q.PhysicalHeight;
    switch (cap) {
    case LOGPIXELSX: return q.DpiX;
    case LOGPIXELSY: return q.DpiY;
    case PHYSICALWIDTH: return w;
    case PHYSICALHEIGHT: return h;
    case PHYSICALOFFSETX: return q.OffsetX;
    case PHYSICALOFFSETY: return q.OffsetY;
    case HORZRES: return w - 2 * q.OffsetX;
    case VERTRES: return h - 2 * q.OffsetY;
    }
    return 0;
}

std::vector<std::int16_t> TScriptedPrinterDevice::PaperCodes()
{
    return Queue().Papers;
}

void TScriptedPrinterDevice::SetTitle(const std::string& title)
{
    Record("SetTitle " + title);
    title_ = title;
}

void TScriptedPrinterDevice::OpenPage()
{
    page_ = QImage(std::max(1, PageWidth()), std::max(1, PageHeight()), QImage::Format_RGB32);
    page_.fill(Qt::white);
    painter_.begin(&page_);
}

void TScriptedPrinterDevice::ClosePage()
{
    painter_.end();
    Documents.back().Pages.push_back(page_);
    page_ = QImage();
}

void TScriptedPrinterDevice::BeginDoc()
{
    Record("BeginDoc");
    if (index_ < 0)
        throw EPrinterError("There is no default printer currently selected");
    if (printing_)
        throw EPrinterError("Printing in progress");
    Documents.push_back({title_, DevMode(), {}, false, false});
    printing_ = true;
    OpenPage();
}

void TScriptedPrinterDevice::NewPage()
{
    Record("NewPage");
    if (!printing_)
        throw EPrinterError("Printer is not currently printing");
    ClosePage();
    OpenPage();
}

void TScriptedPrinterDevice::StartPage()
{
    Record("StartPage");
    if (!printing_)
        throw EPrinterError("Printer is not currently printing");
}

void TScriptedPrinterDevice::EndDoc()
{
    Record("EndDoc");
    if (!printing_)
        throw EPrinterError("Printer is not currently printing");
    jobNotice_ = Notice;
    ClosePage();
    Documents.back().Ended = true;
    printing_ = false;
}

void TScriptedPrinterDevice::Abort()
{
    Record("Abort");
    if (!printing_)
        return;
    painter_.end();
    page_ = QImage();
    Documents.back().Aborted = true;
    printing_ = false;
}

} // namespace qrp
