#pragma once
// Exception classes of the base layer. Every failure the program reports is one
// of these (or derives from std::exception) and carries the message text shown to
// the user; the GUI shows it in its error box, qrptool prints it on one line.
#include <stdexcept>
#include <string>

namespace qrp {

class EError : public std::runtime_error {
public:
    explicit EError(const std::string& message) : std::runtime_error(message) {}
};

// "Stream read error" / "Stream write error".
class EStreamError : public EError { using EError::EError; };
// "Cannot open file "%s". %s"
class EFOpenError : public EError { using EError::EError; };
// "Cannot create file "%s". %s"
class EFCreateError : public EError { using EError::EError; };
// "Cannot write file "%s". %s"
class EFWriteError : public EError { using EError::EError; };
// "Out of memory while expanding memory stream"
class EOutOfMemory : public EError { using EError::EError; };
// "Metafile is not valid"
class EInvalidGraphic : public EError { using EError::EError; };
// A saved report whose structure cannot be followed (bad links, sizes out of range).
class EReportFormatError : public EError { using EError::EError; };
// Printing system failures, e.g. "Printer index out of range".
class EPrinterError : public EError { using EError::EError; };

} // namespace qrp
