#include "printer/PrinterSettings.h"

#include "PrinterTestSupport.h"

#include <gtest/gtest.h>

using namespace qrp;
using qrp::testing::Queue;

namespace {

TDevMode ModeWith(std::uint32_t fields)
{
    TDevMode m;
    m.dmFields = fields;
    return m;
}

struct SettingsOn {
    explicit SettingsOn(TScriptedQueue q) : device({std::move(q)}) { settings.AttachPrinter(&device); }
    TScriptedPrinterDevice device;
    TPrinterSettings settings;
};

} // namespace

TEST(PaperTables, CodesMetricsNamesAndBins)
{
    for (int s = 1; s <= 26; ++s)
        EXPECT_EQ(PaperCodes[s], s);
    EXPECT_EQ(PaperCodes[0], 0);
    EXPECT_EQ(PaperCodes[static_cast<int>(TQRPaperSize::Custom)], 256);

    EXPECT_EQ(PaperMetrics[static_cast<int>(TQRPaperSize::Env9) - 1][0], 98.43L);
    EXPECT_EQ(PaperMetrics[static_cast<int>(TQRPaperSize::Note) - 1][1], 279.0L);
    EXPECT_EQ(PaperMetrics[static_cast<int>(TQRPaperSize::Ledger) - 1][0], 431.8L);
    EXPECT_EQ(PaperMetrics[static_cast<int>(TQRPaperSize::Quarto) - 1][0], 215.0L);
    for (auto s : {TQRPaperSize::CSheet, TQRPaperSize::DSheet, TQRPaperSize::ESheet}) {
        EXPECT_EQ(PaperMetrics[static_cast<int>(s) - 1][0], 100.0L);
        EXPECT_EQ(PaperMetrics[static_cast<int>(s) - 1][1], 100.0L);
    }

    EXPECT_STREQ(PaperNames[0], "Default size");
    EXPECT_STREQ(PaperNames[static_cast<int>(TQRPaperSize::Executive)], "Executive7 1/2 x 10 in");
    EXPECT_STREQ(PaperNames[static_cast<int>(TQRPaperSize::Env12)], "Envelope #12 4 \\276 x 11");
    EXPECT_EQ(std::string(PaperNames[static_cast<int>(TQRPaperSize::Env14)]).size(), 24u);
    EXPECT_STREQ(PaperNames[static_cast<int>(TQRPaperSize::Custom)], "Custom Size");

    const std::array<std::int16_t, 14> bins = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};
    EXPECT_EQ(BinCodes, bins);
}

TEST(PaperTables, RoundingIsHalvesToEven)
{
    EXPECT_EQ(RoundHalfEven(0.5L), 0);
    EXPECT_EQ(RoundHalfEven(1.5L), 2);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(2.5000001L), 3);
    EXPECT_EQ(RoundHalfEven(100.0L / 600 * 254), 42);
    EXPECT_EQ(RoundHalfEven(150.0L / 600 * 254), 64);
}

TEST(PrinterSettingsRead, OffsetsAndSheetFromTheDeviceResolution)
{
    auto q = Queue("P");
    q.DpiX = q.DpiY = 600;
    q.OffsetX = 100;
    q.OffsetY = 150;
    q.PhysicalWidth = 4960;
    q.PhysicalHeight = 7016;
    SettingsOn s(q);
    EXPECT_EQ(s.settings.DeviceDpiX(), 600);
    EXPECT_EQ(s.settings.PhysicalLeft(), 42);
    EXPECT_EQ(s.settings.PhysicalTop(), 64);
    EXPECT_EQ(s.settings.SheetWidth(), 2100);  // 4960 / 600 * 254 = 2099.73
    EXPECT_EQ(s.settings.SheetLength(), 2970); // 7016 / 600 * 254 = 2970.11
}

TEST(PrinterSettingsRead, PaperCodeOfTheDeviceMode)
{
    struct Case {
        std::int16_t code;
        std::uint32_t fields;
        TQRPaperSize expected;
    } cases[] = {
        {256, DM_PAPERSIZE, TQRPaperSize::Custom}, {9, DM_PAPERSIZE, TQRPaperSize::A4},
        {27, DM_PAPERSIZE, TQRPaperSize::Default}, {300, DM_PAPERSIZE, TQRPaperSize::Default},
        {9, 0, TQRPaperSize::Default},            {1, DM_PAPERSIZE, TQRPaperSize::Letter},
    };
    for (const auto& c : cases) {
        auto q = Queue("P");
        q.Defaults = ModeWith(c.fields);
        q.Defaults.dmPaperSize = c.code;
        SettingsOn s(q);
        EXPECT_EQ(s.settings.PaperSize(), c.expected) << "code " << c.code;
    }
}

TEST(PrinterSettingsRead, SourceCopiesAndDuplex)
{
    struct Case {
        std::uint32_t fields;
        std::int16_t source;
        TQRBin bin;
    } cases[] = {
        {DM_DEFAULTSOURCE, 1, TQRBin::First},   {DM_DEFAULTSOURCE, 14, TQRBin::Cassette},
        {DM_DEFAULTSOURCE, 7, TQRBin::Auto},    {DM_DEFAULTSOURCE, 99, TQRBin::First},
        {0, 7, TQRBin::First},
    };
    for (const auto& c : cases) {
        auto q = Queue("P");
        q.Defaults = ModeWith(c.fields);
        q.Defaults.dmDefaultSource = c.source;
        SettingsOn s(q);
        EXPECT_EQ(s.settings.OutputBin(), c.bin) << "source " << c.source;
    }

    auto q = Queue("P");
    q.Defaults = ModeWith(DM_DUPLEX);
    q.Defaults.dmCopies = 5;
    q.Defaults.dmDuplex = DMDUP_VERTICAL;
    SettingsOn noCopies(q);
    EXPECT_EQ(noCopies.settings.Copies(), 1);
    EXPECT_TRUE(noCopies.settings.Duplex());

    q.Defaults = ModeWith(DM_COPIES);
    q.Defaults.dmCopies = 5;
    q.Defaults.dmDuplex = DMDUP_VERTICAL;
    SettingsOn withCopies(q);
    EXPECT_EQ(withCopies.settings.Copies(), 5);
    EXPECT_FALSE(withCopies.settings.Duplex());
}

TEST(PrinterSettingsRead, DriverNameFromTheDriverFile)
{
    auto q = Queue("P");
    q.Driver = "Generic Driver";
    SettingsOn plain(q);
    EXPECT_EQ(plain.settings.DriverName(), "Generic Driver");
    EXPECT_EQ(plain.settings.DeviceName(), "P");

    q.DriverPath = "/etc/cups/ppd/" + std::string(80, 'd') + ".ppd";
    SettingsOn file(q);
    EXPECT_EQ(file.settings.DriverName(), std::string(63, 'd'));

    q.DriverPath = "/usr/share/drivers/laser.ppd";
    SettingsOn shortFile(q);
    EXPECT_EQ(shortFile.settings.DriverName(), "laser.ppd");
}

TEST(PrinterSettingsGuards, PaperSizesTheDeviceOffers)
{
    SettingsOn s(Queue("P", {1, 9}));
    for (int v = 0; v < QRPaperSizeCount; ++v) {
        const auto size = static_cast<TQRPaperSize>(v);
        const bool offered = size == TQRPaperSize::Letter || size == TQRPaperSize::A4 || size == TQRPaperSize::Custom;
        EXPECT_EQ(s.settings.SizeSupported(size), offered) << v;
    }
    s.settings.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_EQ(s.settings.PaperSize(), TQRPaperSize::Letter);
    s.settings.SetPaperSize(TQRPaperSize::Legal);
    EXPECT_EQ(s.settings.PaperSize(), TQRPaperSize::Letter);
    s.settings.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.settings.PaperSize(), TQRPaperSize::Default);
}

TEST(PrinterSettingsGuards, FieldsTheDeviceDeclares)
{
    auto q = Queue("P");
    q.Defaults = ModeWith(DM_PAPERSIZE);
    q.Defaults.dmPaperSize = 9;
    SettingsOn bare(q);
    bare.settings.SetCopies(4);
    bare.settings.SetOrientation(poLandscape);
    bare.settings.SetOutputBin(TQRBin::Manual);
    EXPECT_EQ(bare.settings.Copies(), 1);
    EXPECT_EQ(bare.settings.Orientation(), poPortrait);
    EXPECT_EQ(bare.settings.OutputBin(), TQRBin::First);

    q.Defaults = ModeWith(DM_COPIES | DM_ORIENTATION | DM_DEFAULTSOURCE);
    SettingsOn full(q);
    full.settings.SetCopies(0);
    full.settings.SetOrientation(poLandscape);
    full.settings.SetOutputBin(TQRBin::Manual);
    EXPECT_EQ(full.settings.Copies(), 0);
    EXPECT_EQ(full.settings.Orientation(), poLandscape);
    EXPECT_EQ(full.settings.OutputBin(), TQRBin::Manual);
}

TEST(PrinterSettingsGuards, CustomSizeOnlyWhileCustom)
{
    SettingsOn s(Queue("P"));
    s.settings.SetPaperSize(TQRPaperSize::A4);
    s.settings.SetPaperWidth(1000);
    EXPECT_EQ(s.settings.PaperWidth(), 2100);
    EXPECT_EQ(s.settings.PaperLength(), 2970);
    s.settings.SetPaperSize(TQRPaperSize::Custom);
    s.settings.SetPaperWidth(1000);
    s.settings.SetPaperLength(1500);
    EXPECT_EQ(s.settings.PaperWidth(), 1000);
    EXPECT_EQ(s.settings.PaperLength(), 1500);
    s.settings.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_EQ(s.settings.PaperWidth(), 2159);
    EXPECT_EQ(s.settings.PaperLength(), 2794);
}

TEST(PrinterSettingsGuards, WithoutAnAttachedPrinterTheDefaultsStay)
{
    TPrinterSettings s;
    EXPECT_FALSE(s.CapabilityPresent(DM_COPIES));
    s.SetCopies(3);
    s.SetOrientation(poLandscape);
    s.SetOutputBin(TQRBin::Manual);
    s.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_EQ(s.Copies(), 0);
    EXPECT_EQ(s.Orientation(), poPortrait);
    EXPECT_EQ(s.OutputBin(), TQRBin::First);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    s.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Default);
    s.ReadFromDevice();
    s.ApplyToDevice(); // nothing to write into: must not fail
    EXPECT_EQ(s.DeviceDpiX(), 0);

    // A device without printers is attached but not read.
    TScriptedPrinterDevice empty({});
    s.AttachPrinter(&empty);
    EXPECT_EQ(s.DeviceName(), "");
}

TEST(PrinterSettingsApply, WritesTheFieldsInForce)
{
    auto q = Queue("P");
    q.Defaults = ModeWith(DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_ORIENTATION | DM_COPIES |
                          DM_DEFAULTSOURCE | DM_DUPLEX);
    q.Defaults.dmPaperSize = 9;
    q.Defaults.dmDuplex = DMDUP_VERTICAL;
    q.Defaults.dmDefaultSource = 256 | 3;
    SettingsOn s(q);
    s.settings.SetPaperSize(TQRPaperSize::Custom);
    s.settings.SetPaperWidth(2100);
    s.settings.SetPaperLength(2970);
    s.settings.SetCopies(0);
    s.settings.SetOutputBin(TQRBin::Last);
    s.settings.SetOrientation(poLandscape);
    EXPECT_TRUE(s.settings.Duplex()); // read from the device's long-edge duplex
    s.settings.SetDuplex(false);
    s.settings.ApplyToDevice();
    ASSERT_EQ(s.device.AppliedModes.size(), 1u);
    const TDevMode m = s.device.AppliedModes[0];
    EXPECT_EQ(m.dmPaperSize, 256);
    EXPECT_EQ(m.dmPaperWidth, 2100);
    EXPECT_EQ(m.dmPaperLength, 2970);
    EXPECT_EQ(m.dmCopies, 0);
    EXPECT_EQ(m.dmDefaultSource, 256 | 14);
    EXPECT_EQ(m.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(m.dmDuplex, DMDUP_VERTICAL); // duplex off leaves the device's value
    EXPECT_EQ(s.device.DevMode(), m);

    s.settings.SetDuplex(true);
    s.settings.ApplyToDevice();
    EXPECT_EQ(s.device.AppliedModes.back().dmDuplex, DMDUP_HORIZONTAL);
}

TEST(PrinterSettingsApply, UndeclaredFieldsAreLeftAndTheAlwaysWrittenOnesMarked)
{
    auto q = Queue("P");
    q.Defaults = ModeWith(0);
    q.Defaults.dmPaperSize = 1;
    SettingsOn s(q);
    EXPECT_EQ(s.settings.PaperSize(), TQRPaperSize::Default);
    s.settings.SetPaperSize(TQRPaperSize::Custom);
    s.settings.SetPaperWidth(1234);
    s.settings.SetDuplex(true);
    s.settings.ApplyToDevice();
    const TDevMode m = s.device.AppliedModes.back();
    EXPECT_EQ(m.dmPaperSize, 1);
    EXPECT_EQ(m.dmPaperWidth, 0);
    EXPECT_EQ(m.dmFields, DM_COPIES | DM_DEFAULTSOURCE | DM_ORIENTATION | DM_DUPLEX);
    EXPECT_EQ(m.dmDuplex, DMDUP_HORIZONTAL);
    EXPECT_EQ(m.dmDefaultSource, 1);
    // The marks made by the last apply now let the guarded setters through.
    s.settings.SetCopies(7);
    EXPECT_EQ(s.settings.Copies(), 7);
}

TEST(PrinterSettingsApply, ReloadingDriverDefaultsDropsTheDeviceMode)
{
    auto q = Queue("P");
    q.Defaults.dmCopies = 2;
    SettingsOn s(q);
    s.settings.SetCopies(9);
    s.settings.ApplyToDevice();
    EXPECT_EQ(s.device.DevMode().dmCopies, 9);
    s.settings.ReloadDriverDefaults(s.device);
    s.settings.ReadFromDevice();
    EXPECT_EQ(s.settings.Copies(), 2);
    EXPECT_EQ(s.device.Calls, (std::vector<std::string>{"SetDevMode", "ReleaseDevMode"}));
}
