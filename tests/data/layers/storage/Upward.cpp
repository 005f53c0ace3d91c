// Storage reaching up into the printer: refused.
#include "printer/QRPrinter.h"
