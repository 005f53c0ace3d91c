#include "platform/FontSetUp.h"

#include <dlfcn.h>

namespace qrp {

namespace {

// The library is loaded here, not linked: a tool that ends up drawing nothing (help,
// a usage error) should not pay for loading it. The toolkit links the same library
// later and finds it loaded, with the configuration made.
void ReadFontConfiguration()
{
    void* library = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return; // the toolkit reports the missing library in its own way
    // FcInit makes the process-wide configuration, the one the toolkit's font database
    // uses; a second FcInit, from there, finds it made and returns at once.
    using TFcInit = int (*)();
    if (const auto init = reinterpret_cast<TFcInit>(::dlsym(library, "FcInit")))
        init();
}

} // namespace

TFontSetUp::TFontSetUp() : thread_(ReadFontConfiguration) {}

TFontSetUp::~TFontSetUp() { Wait(); }

void TFontSetUp::Wait()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace qrp
