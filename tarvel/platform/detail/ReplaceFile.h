// ReplaceFile: the one way the library and its programs write an output file. The text goes to a
// new file beside the target and is renamed onto it only when complete, so that a run that fails
// or stops leaves an existing target as it was and no partial file; a target that exists and is
// not a regular file is never replaced.
//
// Rules, by what the target is when open() is called (a symbolic link is followed):
//  - absent, or a regular file that may be written: the text goes to ".NAME.<process>-<n>.tmp"
//    in the target's folder (so the rename stays within one file system), created with the mode
//    of the file it replaces, else 0666 less the umask; commit() renames it onto the target;
//  - a character device (/dev/null, a terminal): written in place; commit() renames nothing;
//  - anything else (a directory, a pipe, a socket, a block device), an existing file that may
//    not be written, an empty name or one ending in "/", a folder that takes no new file:
//    refused, nothing made.
// Header-only (namespace tarvel::detail) so that the demo program, which links the shared
// library and sees none of its private symbols, compiles the same rules.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::detail
{

class ReplaceFile
{
public:
    ReplaceFile() = default;
    ~ReplaceFile() { discard(); }
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Prepares to write target (rules above); false when it is refused.
    bool open(const std::string& target)
    {
        discard();
        if (target.empty() || target.back() == '/') return false;
        struct stat existing = {};
        const bool exists = ::stat(target.c_str(), &existing) == 0;
        if (exists && S_ISCHR(existing.st_mode))
        {
            if (::access(target.c_str(), W_OK) != 0) return false;
            m_path = target;
            return true;
        }
        if (exists && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0))
            return false;
        m_target = resolved(target);
        const std::size_t slash = m_target.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : m_target.substr(0, slash + 1);
        const std::string name = m_target.substr(folder.size());
        static std::atomic<unsigned long> runs{0};
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const std::string temporary = folder + "." + name + "." + std::to_string(::getpid()) +
                                          "-" + std::to_string(++runs) + ".tmp";
            const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                  exists ? existing.st_mode & 07777 : 0666);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) break;
            const bool kept = !exists || ::fchmod(fd, existing.st_mode & 07777) == 0;
            ::close(fd);
            m_path = m_temporary = temporary;
            if (kept) return true;
            break;
        }
        discard();
        return false;
    }

    // The file to write: the new file beside the target, or the device itself; empty before a
    // successful open().
    const std::string& path() const { return m_path; }

    // Renames the written file onto the target (a device: nothing to do). False, the target
    // untouched and the new file removed, when the rename fails or nothing was opened.
    bool commit()
    {
        if (m_path.empty()) return false;
        if (!m_temporary.empty() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        {
            discard();
            return false;
        }
        m_temporary.clear();
        m_path.clear();
        return true;
    }

    // Removes the new file, leaving the target as it was (a device keeps what was written).
    void discard()
    {
        if (!m_temporary.empty()) std::remove(m_temporary.c_str());
        m_temporary.clear();
        m_path.clear();
    }

private:
    // The file a chain of symbolic links ends at (relative links read from their folder).
    static std::string resolved(std::string path)
    {
        for (int depth = 0; depth < 40; ++depth)
        {
            struct stat link = {};
            if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
            std::string to(std::size_t(link.st_size > 0 ? link.st_size : 4096) + 1, '\0');
            const ssize_t length = ::readlink(path.c_str(), &to[0], to.size());
            if (length <= 0 || std::size_t(length) >= to.size()) break;
            to.resize(std::size_t(length));
            const std::size_t slash = path.rfind('/');
            path = to.front() == '/' || slash == std::string::npos ? to
                                                                   : path.substr(0, slash + 1) + to;
        }
        return path;
    }

    std::string m_target;     // the regular file renamed onto
    std::string m_temporary;  // the new file beside it, until commit() or discard()
    std::string m_path;       // what the caller writes
};

}  // namespace tarvel::detail
