#include "platform/FontSetUp.h"

#include <dlfcn.h>

namespace qrp {

// The library is loaded here, not linked: a tool that ends up drawing nothing (help,
// a usage error) should not pay for loading it. The toolkit links the same library
// later and finds it loaded, with the configuration made.
TFontSetUp::TFontSetUp()
    : libraryLoadedFuture_(libraryLoaded_.get_future().share()),
      thread_([this] {
          void* library = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_LOCAL);
          libraryLoaded_.set_value();
          if (!library)
              return; // the toolkit reports the missing library in its own way
          // FcInit makes the process-wide configuration, the one the toolkit's font
          // database uses; a second FcInit, from there, finds it made and returns.
          using TFcInit = int (*)();
          if (const auto init = reinterpret_cast<TFcInit>(::dlsym(library, "FcInit")))
              init();
      })
{
}

TFontSetUp::~TFontSetUp() { Wait(); }

void TFontSetUp::WaitForLibrary() { libraryLoadedFuture_.wait(); }

void TFontSetUp::Wait()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace qrp
