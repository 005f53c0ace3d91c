#include "tools/launcher/ModuleLauncher.h"

#include "platform/FontSetUp.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace qrp {

namespace {

// The folder of the running program.
std::string ProgramFolder()
{
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return ".";
    const std::string path(buf.data(), static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool Exists(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

// The read started for the module running (one per process).
TFontSetUp* runningFontSetUp = nullptr;

void WaitForFonts()
{
    if (runningFontSetUp)
        runningFontSetUp->Wait();
}

} // namespace

int RunModule(const char* program, const char* file, TModuleFonts fonts, int argc, char** argv)
{
    std::optional<TFontSetUp> fontSetUp;
    if (fonts == TModuleFonts::Read)
        fontSetUp.emplace();
    // A build tree keeps the module beside the program; an installed program finds it
    // in its private library folder, at the same place relative to the program.
    const std::string folder = ProgramFolder();
    std::string path = folder + "/" + file;
    if (!Exists(path))
        path = folder + "/" QRP_MODULE_FOLDER_FROM_PROGRAM "/" + file;
    if (fontSetUp)
        fontSetUp->WaitForLibrary();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "%s: cannot load its module: %s\n", program, ::dlerror());
        return 1;
    }
    const auto entry = reinterpret_cast<TModuleEntry>(::dlsym(module, "QrpModuleMain"));
    if (!entry) {
        std::fprintf(stderr, "%s: %s has no entry: %s\n", program, path.c_str(), ::dlerror());
        return 1;
    }
    runningFontSetUp = fontSetUp ? &*fontSetUp : nullptr;
    // The module stays loaded until the process ends: the toolkit it brought in keeps
    // threads and exit handlers of its own.
    const int status = entry(argc, argv, &WaitForFonts);
    runningFontSetUp = nullptr;
    return status;
}

} // namespace qrp
