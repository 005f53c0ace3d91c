#pragma once
// The program's windows started for a test: a temporary working folder with report
// files made by the report printer, temporary XDG folders for the file association,
// and the error box replaced by a recorder.
#include "app/Application.h"
#include "app/ErrorBox.h"
#include "app/FrmImprimir.h"
#include "app/FrmManRepo.h"
#include "app/FrmReporte.h"
#include "app/FrmVisualizar.h"
#include "app/Globals.h"
#include "controls/xpButton.h"
#include "host/QRReport.h"
#include "platform/ScriptedPrinterDevice.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qrp::apptest {

inline const QString kProgram = QStringLiteral("/usr/bin/visualizar-reportes");

// A report of `pages` pages written by the report printer's own production and save,
// page k drawn on the page canvas by draw(canvas, k).
inline void WriteDrawnReport(const QString& path, int pages, const std::function<void(QPainter&, int)>& draw)
{
    std::vector<TScriptedQueue> queues{TScriptedQueue{}};
    TQRPrinter printer(std::make_unique<TScriptedPrinterDevice>(std::move(queues), 0), 0);
    printer.BeginReport();
    for (int k = 1; k <= pages; ++k) {
        printer.StartNewPage();
        draw(*printer.PageCanvas(), k);
    }
    printer.EndReport();
    printer.SaveReport(QFile::encodeName(path).toStdString());
}

inline void WriteReport(const QString& path, int pages)
{
    WriteDrawnReport(path, pages, [pages](QPainter& canvas, int k) {
        canvas.fillRect(QRect(60, 60, 500, 80), QColor(40, 80, 160));
        canvas.setPen(Qt::black);
        canvas.drawText(QPoint(80, 200), QStringLiteral("Página %1 de %2").arg(k).arg(pages));
        canvas.drawRect(QRect(60, 240, 600, 300 + 20 * k));
    });
}

inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The message LoadReport itself raises for a file (empty when it loads).
inline std::string ReaderMessage(const QString& path)
{
    std::vector<TScriptedQueue> queues{TScriptedQueue{}};
    TQRPrinter printer(std::make_unique<TScriptedPrinterDevice>(std::move(queues), 0), 0);
    try {
        printer.LoadReport(QFile::encodeName(path).toStdString());
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        work = temp.path() + QStringLiteral("/work");
        QDir().mkpath(work);
        oldCwd = QDir::currentPath();
        oldData = qgetenv("XDG_DATA_HOME");
        oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_DATA_HOME", (temp.path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (temp.path() + QStringLiteral("/config")).toUtf8());
        oldHook = SetErrorBoxHook([this](const QString& title, const QString& text) {
            EXPECT_EQ(title, QStringLiteral("Visualizar Reportes"));
            errors.push_back(text);
        });
    }

    void TearDown() override
    {
        if (FrmManRepo)
            DestroyApplicationWindows();
        QApplication::processEvents();
        SetErrorBoxHook(std::move(oldHook));
        QDir::setCurrent(oldCwd);
        qputenv("XDG_DATA_HOME", oldData);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    QString WorkFile(const QString& name) const { return work + QLatin1Char('/') + name; }

    // Creates the windows in the working folder with the given arguments and shows the
    // main window, as the program does.
    void Start(const QStringList& arguments = {})
    {
        ASSERT_TRUE(QDir::setCurrent(work));
        CreateApplicationWindows(QStringList{kProgram} + arguments);
        FrmManRepo->show();
        Settle();
    }

    static void Settle()
    {
        for (int i = 0; i < 5; ++i) {
            QApplication::processEvents();
            QTest::qWait(10);
        }
    }

    static void Click(TxpButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(10, 10)); Settle(); }

    QTemporaryDir temp;
    QString work, oldCwd;
    QByteArray oldData, oldConfig;
    TErrorBoxHook oldHook;
    std::vector<QString> errors;
};

} // namespace qrp::apptest
