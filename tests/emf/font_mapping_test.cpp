// Font faces of page pictures mapped onto the installed families.
#include "emf/FontMapping.h"

#include <QFontDatabase>
#include <QList>
#include <QStringList>
#include <gtest/gtest.h>

using qrp::emf::MappedFamily;

namespace {
constexpr std::uint8_t kAnsi = 0, kDefault = 1, kHebrew = 177, kRussian = 204;
constexpr std::uint8_t kSwiss = 0x20, kRoman = 0x10, kModern = 0x30, kFixedPitch = 0x01;
} // namespace

TEST(FontMapping, WindowsFacesGoToTheirMetricTwins)
{
    EXPECT_EQ(MappedFamily("Arial", 0, kAnsi), "Liberation Sans");
    EXPECT_EQ(MappedFamily("  ARIAL ", 0, kDefault), "Liberation Sans");
    EXPECT_EQ(MappedFamily("Times New Roman", 0, kAnsi), "Liberation Serif");
    EXPECT_EQ(MappedFamily("Courier New", 0, kAnsi), "Liberation Mono");
    EXPECT_EQ(MappedFamily("MS Sans Serif", 0, kAnsi), "Liberation Sans");
}

TEST(FontMapping, UnknownFacesGoToTheClosestKind)
{
    EXPECT_EQ(MappedFamily("No Such Face", kRoman, kAnsi), "Liberation Serif");
    EXPECT_EQ(MappedFamily("No Such Face", kModern, kAnsi), "Liberation Mono");
    EXPECT_EQ(MappedFamily("No Such Face", kSwiss | kFixedPitch, kAnsi), "Liberation Mono");
    EXPECT_EQ(MappedFamily("No Such Face", kSwiss, kAnsi), "Liberation Sans");
    EXPECT_EQ(MappedFamily("", 0, kAnsi), "Liberation Sans");
}

// A face without the font's script gives way to an installed one that has it (and
// keeps its place when nothing installed has it).
TEST(FontMapping, FacesWithoutTheScriptGiveWay)
{
    for (const auto& [charSet, ws] : {std::pair{kHebrew, QFontDatabase::Hebrew},
                                      std::pair{kRussian, QFontDatabase::Cyrillic}}) {
        const QString mapped = MappedFamily("Arial", kSwiss, charSet);
        if (QFontDatabase::families(ws).isEmpty())
            EXPECT_EQ(mapped, "Liberation Sans");
        else
            EXPECT_TRUE(QFontDatabase::writingSystems(mapped).contains(ws)) << mapped.toStdString();
    }
    // Western character sets keep the twin whatever it covers.
    EXPECT_EQ(MappedFamily("Arial", kSwiss, 238 /* EASTEUROPE_CHARSET */), "Liberation Sans");
}
