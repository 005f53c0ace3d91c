#include "platform/PrinterDevice.h"

#include "platform/PrintSystem.h"

#include <QDir>
#include <QFile>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStringList>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace qrp {

namespace {

// Source codes of the named paper sources; other sources are numbered from 256 up.
struct TSlotCode {
    const char* Keyword;
    std::int16_t Code;
};
constexpr TSlotCode SlotCodes[] = {
    {"upper", 1}, {"tray1", 1}, {"lower", 2}, {"tray2", 2}, {"middle", 3}, {"tray3", 3},
    {"manual", 4}, {"envmanual", 6}, {"envelope", 5}, {"auto", 7}, {"tractor", 8},
    {"smallformat", 9}, {"largeformat", 10}, {"largecapacity", 11}, {"cassette", 14},
};

// What the queue's driver description (PPD) tells beyond Qt's printer information:
// the default resolution and the paper sources.
struct TQueueDriver {
    QString Path;
    int DefaultResolution = 0;
    QStringList Slots;
    QString DefaultSlot;
};

TQueueDriver ReadQueueDriver(const QString& queue)
{
    TQueueDriver driver;
    const QString path = QStringLiteral("/etc/cups/ppd/") + queue + QStringLiteral(".ppd");
    QFile file(path);
    if (!file.exists())
        return driver;
    driver.Path = path;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return driver;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(QLatin1String("*DefaultResolution:"))) {
            QString v = line.mid(19).trimmed();
            const int x = v.indexOf(QLatin1Char('x'));
            v = v.left(x >= 0 ? x : v.indexOf(QLatin1String("dpi")));
            driver.DefaultResolution = v.toInt();
        } else if (line.startsWith(QLatin1String("*DefaultInputSlot:"))) {
            driver.DefaultSlot = line.mid(18).trimmed();
        } else if (line.startsWith(QLatin1String("*InputSlot "))) {
            QString name = line.mid(11);
            name = name.left(name.indexOf(QRegularExpression(QStringLiteral("[/:]"))));
            if (!name.isEmpty() && !driver.Slots.contains(name))
                driver.Slots << name;
        }
    }
    return driver;
}

std::int16_t SlotCode(const QStringList& inputSlots, int index)
{
    const QString key = inputSlots[index].toLower();
    for (const auto& s : SlotCodes)
        if (key == QLatin1String(s.Keyword))
            return s.Code;
    return static_cast<std::int16_t>(256 + index);
}

std::int16_t PaperCodeOf(const QPageSize& size)
{
    const int id = size.windowsId();
    return static_cast<std::int16_t>(id > 0 ? id : DMPAPER_USER);
}

class TQtPrinterDevice final : public TPrinterDevice {
public:
    TQtPrinterDevice()
    {
        for (const QString& name : QPrinterInfo::availablePrinterNames())
            names_.push_back(name.toStdString());
        if (!names_.empty())
            Select(DefaultIndex());
    }

    ~TQtPrinterDevice() override
    {
        if (painter_.isActive()) {
            painter_.end();
            DropSpool();
        }
    }

    std::vector<std::string> Printers() const override { return names_; }
    int PrinterIndex() const override { return index_; }

    void RefreshPrinters() override
    {
        if (painter_.isActive())
            return;
        const std::string selected = DeviceName();
        names_.clear();
        for (const QString& name : QPrinterInfo::availablePrinterNames())
            names_.push_back(name.toStdString());
        const auto it = std::find(names_.begin(), names_.end(), selected);
        if (!selected.empty() && it != names_.end()) {
            index_ = static_cast<int>(it - names_.begin());
        } else if (!names_.empty()) {
            Select(DefaultIndex());
        } else {
            index_ = -1;
            printer_.reset();
            info_ = QPrinterInfo();
            driver_ = TQueueDriver();
            haveMode_ = false;
        }
    }

    void SetPrinterIndex(int index) override
    {
        if (index == -1)
            index = DefaultIndex();
        else if (index < 0 || index >= static_cast<int>(names_.size()))
            throw EPrinterError("Printer index out of range");
        if (painter_.isActive())
            throw EPrinterError("Printing in progress");
        Select(index);
    }

    std::string DeviceName() const override { return index_ >= 0 ? names_[index_] : std::string(); }
    std::string DriverName() const override { return info_.makeAndModel().toStdString(); }
    std::string PortName() const override
    {
        return index_ >= 0 ? "ipp://localhost/printers/" + names_[index_] : std::string();
    }
    std::optional<std::string> DriverPath() const override
    {
        if (driver_.Path.isEmpty())
            return std::nullopt;
        return driver_.Path.toStdString();
    }

    TDevMode DevMode() override
    {
        if (!haveMode_) {
            mode_ = DefaultMode();
            haveMode_ = true;
            Configure();
        }
        return mode_;
    }

    void SetDevMode(const TDevMode& mode) override
    {
        mode_ = mode;
        haveMode_ = true;
        Configure();
    }

    void ReleaseDevMode() override
    {
        haveMode_ = false;
    }

    int DeviceCaps(TDeviceCap cap) override
    {
        if (!printer_)
            return 0;
        DevMode();
        const QRect paper = printer_->paperRect(QPrinter::DevicePixel).toRect();
        const QRect page = printer_->pageRect(QPrinter::DevicePixel).toRect();
        switch (cap) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return printer_->resolution();
        case PHYSICALWIDTH:
            return paper.width();
        case PHYSICALHEIGHT:
            return paper.height();
        case PHYSICALOFFSETX:
            return page.left() - paper.left();
        case PHYSICALOFFSETY:
            return page.top() - paper.top();
        case HORZRES:
            return page.width();
        case VERTRES:
            return page.height();
        }
        return 0;
    }

    std::vector<std::int16_t> PaperCodes() override
    {
        std::vector<std::int16_t> codes;
        for (const QPageSize& size : info_.supportedPageSizes()) {
            const int id = size.windowsId();
            if (id > 0 && id != DMPAPER_USER &&
                std::find(codes.begin(), codes.end(), id) == codes.end())
                codes.push_back(static_cast<std::int16_t>(id));
        }
        if (info_.supportsCustomPageSizes())
            codes.push_back(DMPAPER_USER);
        return codes;
    }

    std::string Title() const override { return title_; }
    void SetTitle(const std::string& title) override { title_ = title; }

    void BeginDoc() override
    {
        if (!printer_)
            throw EPrinterError("There is no default printer currently selected");
        if (painter_.isActive())
            throw EPrinterError("Printing in progress");
        DevMode();
        // The document is spooled into a file of our own and handed to the queue only
        // when it ends, so that an aborted job never reaches the printer.
        // QTemporaryFile replaces the run of six capital X letters with a unique part.
        QTemporaryFile spool(QDir::tempPath() + QStringLiteral("/qrp-job-") + QString(6, QLatin1Char('X')) +
                             QStringLiteral(".job"));
        spool.setAutoRemove(false);
        if (!spool.open())
            throw EPrinterError("Cannot create the print job's spool file");
        spoolPath_ = spool.fileName();
        spool.close();
        printer_->setDocName(QString::fromStdString(title_));
        printer_->setOutputFileName(spoolPath_);
        if (!painter_.begin(printer_.get())) {
            DropSpool();
            throw EPrinterError("Printer \"" + DeviceName() + "\" is not available");
        }
    }

    void NewPage() override
    {
        RequirePrinting();
        if (!printer_->newPage())
            throw EPrinterError("Printer \"" + DeviceName() + "\" could not start a page");
    }

    void StartPage() override { RequirePrinting(); }

    void EndDoc() override
    {
        RequirePrinting();
        notice_.clear();
        const bool written = painter_.end();
        struct TDrop {
            TQtPrinterDevice* Device;
            ~TDrop() { Device->DropSpool(); }
        } drop{this};
        if (!written)
            throw EPrinterError("Printer \"" + DeviceName() + "\" could not finish the job");
        Submit();
    }

    void Abort() override
    {
        if (!painter_.isActive())
            return;
        painter_.end();
        DropSpool();
    }

    std::string JobNotice() const override { return notice_; }
    bool Printing() const override { return painter_.isActive(); }
    QPainter* Canvas() override { return painter_.isActive() ? &painter_ : nullptr; }
    int PageWidth() override { return DeviceCaps(HORZRES); }
    int PageHeight() override { return DeviceCaps(VERTRES); }

private:
    // Hands the spooled document to the queue with the job options the device mode asks
    // for. Copies go to the queue as a count; whether they come collated is the queue's
    // own default.
    void Submit()
    {
        TJobOptions options;
        const QPageLayout layout = printer_->pageLayout();
        options.push_back("media=" + layout.pageSize().key().toStdString());
        switch (printer_->duplex()) {
        case QPrinter::DuplexLongSide: options.push_back("sides=two-sided-long-edge"); break;
        case QPrinter::DuplexShortSide: options.push_back("sides=two-sided-short-edge"); break;
        default: options.push_back("sides=one-sided"); break;
        }
        if (layout.orientation() == QPageLayout::Landscape)
            options.push_back("landscape");
        if (!inputSlot_.isEmpty())
            options.push_back("InputSlot=" + inputSlot_.toStdString());
        const TJobReceipt receipt = SubmitPrintJob(DeviceName(), QFile::encodeName(spoolPath_).toStdString(),
                                                   title_, printer_->copyCount(), options, kHandOffTimeoutMs);
        notice_ = receipt.Notice;
    }

    void DropSpool()
    {
        if (printer_)
            printer_->setOutputFileName(QString());
        if (!spoolPath_.isEmpty()) {
            QFile::remove(spoolPath_);
            spoolPath_.clear();
        }
    }

    int DefaultIndex() const
    {
        if (names_.empty())
            return -1;
        const auto it = std::find(names_.begin(), names_.end(),
                                  QPrinterInfo::defaultPrinterName().toStdString());
        return it == names_.end() ? 0 : static_cast<int>(it - names_.begin());
    }

    void Select(int index)
    {
        index_ = index;
        const QString name = QString::fromStdString(names_[index]);
        info_ = QPrinterInfo::printerInfo(name);
        driver_ = ReadQueueDriver(name);
        printer_ = std::make_unique<QPrinter>(info_, QPrinter::HighResolution);
        printer_->setFullPage(false);
        const QList<int> resolutions = info_.supportedResolutions();
        int dpi = driver_.DefaultResolution;
        if (dpi <= 0)
            dpi = resolutions.contains(300) || resolutions.isEmpty() ? 300 : resolutions.first();
        printer_->setResolution(dpi);
        haveMode_ = false;
    }

    TDevMode DefaultMode() const
    {
        TDevMode mode;
        mode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
        const QPageSize size = info_.defaultPageSize();
        mode.dmPaperSize = PaperCodeOf(size);
        const QSizeF mm = size.size(QPageSize::Millimeter);
        mode.dmPaperWidth = static_cast<std::int16_t>(std::lround(mm.width() * 10));
        mode.dmPaperLength = static_cast<std::int16_t>(std::lround(mm.height() * 10));
        if (info_.supportsCustomPageSizes())
            mode.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH;
        mode.dmOrientation = DMORIENT_PORTRAIT;
        mode.dmCopies = 1;
        const auto duplexModes = info_.supportedDuplexModes();
        if (duplexModes.contains(QPrinter::DuplexLongSide) || duplexModes.contains(QPrinter::DuplexShortSide))
            mode.dmFields |= DM_DUPLEX;
        switch (info_.defaultDuplexMode()) {
        case QPrinter::DuplexLongSide: mode.dmDuplex = DMDUP_VERTICAL; break;
        case QPrinter::DuplexShortSide: mode.dmDuplex = DMDUP_HORIZONTAL; break;
        default: mode.dmDuplex = DMDUP_SIMPLEX; break;
        }
        if (!driver_.Slots.isEmpty()) {
            mode.dmFields |= DM_DEFAULTSOURCE;
            const int slot = std::max<int>(0, driver_.Slots.indexOf(driver_.DefaultSlot));
            mode.dmDefaultSource = SlotCode(driver_.Slots, slot);
        }
        return mode;
    }

    // Puts the device mode on the QPrinter the next document is printed with.
    void Configure()
    {
        if (!printer_)
            return;
        QPageSize size;
        if (mode_.dmPaperSize == DMPAPER_USER || QPageSize::id(mode_.dmPaperSize) == QPageSize::Custom) {
            if (mode_.dmPaperWidth > 0 && mode_.dmPaperLength > 0)
                size = QPageSize(QSizeF(mode_.dmPaperWidth / 10.0, mode_.dmPaperLength / 10.0),
                                 QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
        } else {
            size = QPageSize(QPageSize::id(mode_.dmPaperSize));
        }
        if (size.isValid())
            printer_->setPageSize(size);
        printer_->setPageOrientation(mode_.dmOrientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape
                                                                               : QPageLayout::Portrait);
        // The printable area is the device's own: no margins beyond what it cannot print.
        printer_->setPageMargins(printer_->pageLayout().minimumMargins(), printer_->pageLayout().units());
        printer_->setCopyCount(std::max<int>(1, mode_.dmCopies));
        if (mode_.dmFields & DM_DUPLEX) {
            switch (mode_.dmDuplex) {
            case DMDUP_VERTICAL: printer_->setDuplex(QPrinter::DuplexLongSide); break;
            case DMDUP_HORIZONTAL: printer_->setDuplex(QPrinter::DuplexShortSide); break;
            default: printer_->setDuplex(QPrinter::DuplexNone); break;
            }
        }
        inputSlot_.clear();
        if (!driver_.Slots.isEmpty()) {
            const std::int16_t source = mode_.dmDefaultSource;
            for (int i = 0; i < driver_.Slots.size(); ++i) {
                const std::int16_t code = SlotCode(driver_.Slots, i);
                if (code == source || code == (source & ~256)) {
                    inputSlot_ = driver_.Slots[i];
                    break;
                }
            }
        }
    }

    void RequirePrinting() const
    {
        if (!painter_.isActive())
            throw EPrinterError("Printer is not currently printing");
    }

    std::vector<std::string> names_;
    int index_ = -1;
    QPrinterInfo info_;
    TQueueDriver driver_;
    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    TDevMode mode_;
    bool haveMode_ = false;
    std::string title_;
    QString spoolPath_;
    QString inputSlot_;
    std::string notice_;
    // The longest the scheduler may take to receive a finished job.
    static constexpr int kHandOffTimeoutMs = 60000;
};

} // namespace

std::unique_ptr<TPrinterDevice> CreateSystemPrinterDevice()
{
    return std::make_unique<TQtPrinterDevice>();
}

std::vector<std::string> SystemPrinterNames()
{
    std::vector<std::string> names;
    for (const QString& name : QPrinterInfo::availablePrinterNames())
        names.push_back(name.toStdString());
    return names;
}

TPrinterDevice& ApplicationPrinter()
{
    // Lives to the end of the process; it holds no document between calls.
    static TPrinterDevice* printer = CreateSystemPrinterDevice().release();
    return *printer;
}

int ApplicationPrinterIndex()
{
    ApplicationPrinter().RefreshPrinters();
    return ApplicationPrinter().PrinterIndex();
}

} // namespace qrp
