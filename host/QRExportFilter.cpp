#include "host/QRExportFilter.h"
