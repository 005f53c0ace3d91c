// The EMF engine reaching up into storage by a relative path: refused.
#include "../storage/PageList.h"
