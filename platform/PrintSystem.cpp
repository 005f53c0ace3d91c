#include "platform/PrintSystem.h"

#include <cups/cups.h>

namespace qrp {

bool PrintSystemRunning()
{
    // The server and port the CUPS clients use (CUPS_SERVER, client.conf, the local
    // socket), asked the way they ask; a scheduler started on demand starts here.
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (!http)
        return false;
    httpClose(http);
    return true;
}

} // namespace qrp
