// Storage using the layers below it and outside headers: accepted.
#include "base/Errors.h"
#include "emf/Metafile.h"
#include "Local.h"
#include <vector>
