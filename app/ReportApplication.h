#pragma once
// The GUI application: its event dispatch is the one place where an error leaving any
// window handler is caught and shown in the general error box; the program goes on.
// Qt's own texts (standard dialogs and buttons) are shown in Spanish, as the program's.
#include <QApplication>
#include <QTranslator>

namespace qrp {

class TReportApplication : public QApplication {
public:
    TReportApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Qt's Spanish translations were found and installed.
    bool QtTranslated() const { return qtTranslated_; }

private:
    QTranslator qtTranslator_;
    bool qtTranslated_ = false;
};

} // namespace qrp
