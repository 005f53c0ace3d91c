// The base layer using a system adapter: refused (base uses nothing of the project).
#include "platform/PrinterDevice.h"
