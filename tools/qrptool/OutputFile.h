#pragma once
// Writing a command's output file all or nothing: the content goes to a temporary
// file in the same folder, which replaces the target only when it is complete.
#include "base/Errors.h"
#include "base/Stream.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace qrptool {

// True when both paths name the same existing file.
inline bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Calls write with the path of a fresh temporary file next to target, then renames it
// onto target. On any failure the temporary file is removed and target is untouched.
inline void WriteFileAtomically(const std::string& target, const std::function<void(const std::string&)>& write)
{
    const std::filesystem::path t(target);
    const std::filesystem::path dir = t.has_parent_path() ? t.parent_path() : std::filesystem::path(".");
    std::string pattern = (dir / ("." + t.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw qrp::EFCreateError("Cannot create file \"" + target + "\". " + std::strerror(errno));
    ::close(fd);
    const std::string temp(name.data());
    try {
        // mkstemp makes the file private; give it the mode a newly created file gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(temp.c_str(), 0666 & ~mask);
        write(temp);
        if (::rename(temp.c_str(), target.c_str()) != 0)
            throw qrp::EFCreateError("Cannot create file \"" + target + "\". " + std::strerror(errno));
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

} // namespace qrptool
