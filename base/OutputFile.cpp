#include "base/OutputFile.h"

#include "base/Errors.h"
#include "base/FileIo.h"
#include "base/Interruption.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrp {

namespace {

std::string WriteMessage(const std::string& target, const std::string& cause)
{
    return "Cannot write file \"" + target + "\". " + cause;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TOutputFile::TOutputFile(const std::string& target, TDurability durability)
    : target_(target), durability_(durability)
{
    const std::string dir = FolderOf(target);
    std::string name = NameOf(target);
    // ".NAME.partial-XXXXXX" must still be a valid name when NAME is long.
    constexpr std::size_t kAdded = 1 + sizeof kPartialInfix - 1 + 6;
    if (name.size() + kAdded > NAME_MAX)
        name.resize(NAME_MAX - kAdded);
    std::string pattern = (target.find('/') == std::string::npos ? std::string() : dir + "/") + "." + name +
                          kPartialInfix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    {
        // Created and registered in one stretch: no interruption falls between them.
        TSignalsBlocked blocked;
        fd_ = ::mkostemp(buf.data(), O_CLOEXEC);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + target + "\". " + std::strerror(errno));
        temp_ = buf.data();
        RemoveOnInterruption(temp_);
    }
    // mkstemp makes the file private; give it the mode a newly created file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Discard()
{
    if (committed_ || temp_.empty())
        return;
    TSignalsBlocked blocked;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    ::unlink(temp_.c_str());
    KeepOnInterruption(temp_);
    temp_.clear();
}

void TOutputFile::Fail(const std::string& cause)
{
    Discard();
    throw EFWriteError(WriteMessage(target_, cause));
}

std::int64_t TOutputFile::Read(void* buffer, std::int64_t count)
{
    if (fd_ < 0 || count <= 0 || pos_ < 0)
        return 0;
    const std::int64_t done = ReadAt(fd_, buffer, count, pos_);
    pos_ += done;
    return done;
}

std::int64_t TOutputFile::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    if (fd_ < 0 || pos_ < 0)
        Fail(std::strerror(EBADF));
    const std::int64_t done = WriteAt(fd_, buffer, count, pos_);
    pos_ += done;
    if (done < count)
        Fail(std::strerror(errno));
    return done;
}

std::int64_t TOutputFile::Seek(std::int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning: pos_ = offset; break;
    case soCurrent: pos_ += offset; break;
    case soEnd: {
        struct stat st {};
        pos_ = (fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0) + offset;
        break;
    }
    }
    return pos_;
}

void TOutputFile::Commit()
{
    if (committed_)
        return;
    if (fd_ < 0)
        Fail(std::strerror(EBADF));
    // Write errors the system reports late (delayed allocation, network file systems)
    // show up here or at close.
    if (durability_ == TDurability::OnDisk && ::fsync(fd_) != 0 && errno != EINVAL)
        Fail(std::strerror(errno));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        Fail(std::strerror(errno));
    {
        TSignalsBlocked blocked;
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            Fail(std::strerror(errno));
        KeepOnInterruption(temp_);
        committed_ = true;
    }
    if (durability_ == TDurability::OnDisk)
        SyncFolderOf(target_);
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void RefuseToOverwrite(const std::vector<std::string>& inputs, const std::string& output)
{
    for (const std::string& in : inputs)
        if (SameFile(in, output))
            throw EError("the output \"" + output + "\" is the same file as the input \"" + in + "\"");
}

void SyncFolderOf(const std::string& path)
{
    // Best effort: the file is in place already; a folder that cannot be synced (some
    // file systems refuse) does not make the write fail.
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace qrp
