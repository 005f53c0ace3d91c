#pragma once
// The folder a benchmark program writes its inputs and outputs in: made on first use
// under the system's temporary folder, removed with everything in it when the program
// ends, so that running the benchmarks leaves nothing behind.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qrp::bench {

inline const std::string& BenchFolder()
{
    // Never destroyed: the handler that removes the folder runs after static objects
    // made before it was registered are gone.
    static const std::string* const folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "qrp-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return new std::string(pattern);
    }();
    static const bool removedAtExit = [] {
        return std::atexit([] {
                   std::error_code ignored;
                   std::filesystem::remove_all(*folder, ignored);
               }) == 0;
    }();
    (void)removedAtExit;
    return *folder;
}

// path of name inside the folder.
inline std::string BenchFile(const std::string& name) { return BenchFolder() + "/" + name; }

} // namespace qrp::bench
