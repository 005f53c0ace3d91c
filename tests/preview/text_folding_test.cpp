// Search folding as a Spanish reader expects it, and the ranges it maps back to.
#include "preview/TextFolding.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace qrp;

namespace {

// The matched parts of text, in order.
QStringList Found(const QString& text, const QString& query, bool matchCase = false)
{
    QStringList out;
    for (const TTextSpan& s : FindFolded(FoldText(text, matchCase), query, matchCase))
        out << text.mid(s.Start, s.End - s.Start);
    return out;
}

} // namespace

TEST(TextFolding, AccentsAndCaseFoldButTheEnyeStaysALetter)
{
    EXPECT_EQ(Found("Lima, Perú", "peru"), QStringList{"Perú"});
    EXPECT_EQ(Found("PERÚ y Perú", "perú"), (QStringList{"PERÚ", "Perú"}));
    EXPECT_EQ(Found("el pingüino", "PINGUINO"), QStringList{"pingüino"});
    EXPECT_EQ(Found("Álvarez Ávila", "alvarez"), QStringList{"Álvarez"});
    // ñ is not n: "ano" does not find "año", "an" does not find the "añ" of it.
    EXPECT_TRUE(Found("el año", "ano").isEmpty());
    EXPECT_TRUE(Found("el año", "an").isEmpty());
    EXPECT_EQ(Found("Ferretería ÑAHUI", "ñahui"), QStringList{"ÑAHUI"});
    EXPECT_TRUE(Found("Ferretería ÑAHUI", "nahui").isEmpty());
    // Written as n and a combining tilde, it is the same letter.
    const QString decomposed = QString("an") + QChar(0x0303) + "o";
    EXPECT_EQ(Found(decomposed, "año"), QStringList{decomposed});
    EXPECT_EQ(Found("e" + QString(QChar(0x0301)) + "xito", "exito").size(), 1);
}

TEST(TextFolding, MatchCaseKeepsCaseButStillFoldsAccents)
{
    EXPECT_EQ(Found("PERÚ y Perú", "Peru", true), QStringList{"Perú"});
    EXPECT_TRUE(Found("PERÚ", "perú", true).isEmpty());
    EXPECT_EQ(Found("Ñandú y ñandú", "Ñandu", true), QStringList{"Ñandú"});
}

TEST(TextFolding, BlanksAndRangesMapBackToTheOriginal)
{
    // Runs of blanks (spaces, tabs, no-break spaces) are one blank on either side.
    EXPECT_EQ(Found("Andina   S.A.", "andina s.a."), QStringList{"Andina   S.A."});
    EXPECT_EQ(Found(QString("Andina") + QChar(0x00A0) + "S.A.", "Andina  S.A."), QStringList{QString("Andina") + QChar(0x00A0) + "S.A."});
    // Occurrences do not overlap and an empty query finds nothing.
    EXPECT_EQ(Found("aaaa", "aa").size(), 2);
    EXPECT_TRUE(Found("texto", "").isEmpty());
    EXPECT_TRUE(Found("texto", "   ").isEmpty());
    // Characters outside the basic plane keep both halves.
    const QString emoji = QString::fromUtf8("ok \xF0\x9F\x98\x80 fin");
    EXPECT_EQ(Found(emoji, QString::fromUtf8("\xF0\x9F\x98\x80 FIN")), QStringList{QString::fromUtf8("\xF0\x9F\x98\x80 fin")});
    const TFoldedText folded = FoldText(QString::fromUtf8("Perú"), false);
    EXPECT_EQ(folded.Text, QString("peru"));
    EXPECT_EQ(folded.From.back(), 3);
    EXPECT_EQ(folded.To.back(), 4);
}
