// The progress window and the print settings dialog of the report host.
#include "../preview/PreviewTestReports.h"

#include "host/QRPrintDialog.h"
#include "host/QRProgressForm.h"
#include "platform/WindowMessages.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::test;

namespace {

TEST(ProgressForm, LayoutAndCaption) {
    TQRProgressForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Printing progress"));
    EXPECT_EQ(form.size(), QSize(149, 97));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.Gauge()->geometry(), QRect(16, 18, 114, 16));
    EXPECT_EQ(form.Gauge()->minimum(), 0);
    EXPECT_EQ(form.Gauge()->maximum(), 100);
    EXPECT_EQ(form.Info()->geometry(), QRect(0, 44, 145, 13));
    EXPECT_TRUE(form.Info()->text().isEmpty());
    EXPECT_EQ(form.CancelButton()->geometry(), QRect(36, 60, 75, 25));
    EXPECT_EQ(form.CancelButton()->text(), QStringLiteral("Cancel"));
}

TEST(ProgressForm, OnlyMultiplesOfFiveUpdateAndTheValueComesFromThePrinter) {
    auto printer = MakeScriptedPrinter();
    TQRProgressForm form;
    form.WatchedPrinter = printer.get();
    printer->SetClientWindow(&form);
    QString lastText;
    int lastValue = 0;
    for (int p = 0; p <= 100; ++p) {
        printer->ReportProgress(p); // posted to the form
        QApplication::sendPostedEvents(&form);
        if (p % 5 == 0) {
            lastText = QString::number(p) + QStringLiteral("%  Completed");
            lastValue = p;
        }
        ASSERT_EQ(form.Info()->text(), lastText) << p;
        ASSERT_EQ(form.Gauge()->value(), lastValue) << p;
    }
    // The message's own parameter is not what counts.
    printer->ReportProgress(3);
    QApplication::sendPostedEvents(&form);
    SendWindowMessage(&form, MsgProgress, 50, 0);
    EXPECT_EQ(form.Info()->text(), QStringLiteral("100%  Completed"));
}

TEST(ProgressForm, CancelAsksThePrinterToStop) {
    auto printer = MakeScriptedPrinter();
    TQRProgressForm form;
    form.WatchedPrinter = printer.get();
    EXPECT_FALSE(printer->CancelRequested());
    form.CancelButton()->click();
    EXPECT_TRUE(printer->CancelRequested());
}

TEST(PrintDialog, OptionsAndPageNumbersAsTheSystemDialogGetsThem) {
    TScriptedPrinterDevice platform({TScriptedQueue{}});
    TQRPrintDialog dialog(platform);
    dialog.Options = poPageNums | poWarning;
    dialog.MinPage = 1;
    dialog.MaxPage = 70000; // above 16 bits
    dialog.FromPage = 65537;
    dialog.ToPage = 3;
    dialog.Collate = true;
    TPrintDialogSetup s = dialog.BuildSetup();
    EXPECT_FALSE(s.ShowPrintToFile);
    EXPECT_FALSE(s.AllowSelection);
    EXPECT_TRUE(s.AllowPageNums);
    EXPECT_TRUE(s.Warn);
    EXPECT_TRUE(s.Collate);
    EXPECT_EQ(s.MinPage, 1);
    EXPECT_EQ(s.MaxPage, 70000 - 65536);
    EXPECT_EQ(s.FromPage, 1);
    EXPECT_EQ(s.ToPage, 3);
    EXPECT_EQ(s.PrinterName, "Scripted");

    dialog.Options = poPrintToFile | poSelection | poDisablePrintToFile;
    s = dialog.BuildSetup();
    EXPECT_TRUE(s.ShowPrintToFile);
    EXPECT_FALSE(s.EnablePrintToFile);
    EXPECT_TRUE(s.AllowSelection);
    EXPECT_FALSE(s.AllowPageNums);
    EXPECT_FALSE(s.Warn);
}

TEST(PrintDialog, OneCopyReturnedTakesThePrintersOwnCopies) {
    TScriptedQueue q;
    q.Defaults.dmCopies = 3;
    TScriptedQueue first;
    first.Name = "First";
    TScriptedPrinterDevice platform({first, q});
    TQRPrintDialog dialog(platform);
    TPrintDialogChoice choice;
    choice.PrinterName = q.Name; // "Scripted", the second queue
    choice.Copies = 1;
    choice.Range = prPageNums;
    choice.FromPage = 4;
    choice.ToPage = 9;
    dialog.Runner = [&](const TPrintDialogSetup&) { return std::optional<TPrintDialogChoice>(choice); };
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(platform.PrinterIndex(), 1);
    EXPECT_EQ(dialog.Copies(), 3);
    EXPECT_EQ(dialog.PrintRange, prPageNums);
    EXPECT_EQ(dialog.FromPage, 4);
    EXPECT_EQ(dialog.ToPage, 9);

    choice.Copies = 4;
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(dialog.Copies(), 4);

    dialog.Runner = [](const TPrintDialogSetup&) { return std::optional<TPrintDialogChoice>(); };
    EXPECT_FALSE(dialog.RunDialog());
    EXPECT_EQ(dialog.Copies(), 4);
}

} // namespace
