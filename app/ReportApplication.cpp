#include "app/ReportApplication.h"

#include "app/ErrorBox.h"

#include <QLibraryInfo>
#include <QLocale>
#include <exception>

namespace qrp {

TReportApplication::TReportApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Dates, sizes and the like in the standard dialogs follow a Spanish locale too,
    // the user's own when it is a Spanish one.
    if (QLocale().language() != QLocale::Spanish)
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    // Without the translations installed, Qt's own texts stay in English.
    qtTranslated_ = qtTranslator_.load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
                                       QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (qtTranslated_)
        installTranslator(&qtTranslator_);
}

bool TReportApplication::notify(QObject* receiver, QEvent* event)
{
    QString message;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unexpected error");
    }
    // Shown after the handler's frames are gone, so the box's own events run normally.
    ShowErrorBox(message);
    return true;
}

} // namespace qrp
