// Output files renamed into place when complete (choices in OutputFile.h).
#include "OutputFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel_demo
{

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& target)
{
    discard();
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path path = target;
    if (fs::is_symlink(path, ec))
    {
        const fs::path named = fs::weakly_canonical(path, ec);
        if (ec) return false;
        path = named;
    }
    if (path.filename().empty()) return false;  // "dir/": no file name
    struct stat existing = {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || ::access(path.c_str(), W_OK) != 0)) return false;

    std::string temporary =
        (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    mode_t mode = existing.st_mode & 07777;
    if (!exists)
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool ok = ::fchmod(fd, mode) == 0;
    ::close(fd);
    m_temporary = temporary;
    if (ok) m_out.open(temporary, std::ios::binary | std::ios::trunc);
    if (!ok || !m_out)
    {
        discard();
        return false;
    }
    m_target = path.string();
    return true;
}

bool OutputFile::commit()
{
    if (m_temporary.empty()) return false;
    m_out.flush();
    const bool written = static_cast<bool>(m_out);
    m_out.close();
    if (!written || m_out.fail() || std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
    {
        discard();
        return false;
    }
    m_temporary.clear();
    return true;
}

void OutputFile::discard()
{
    if (m_out.is_open()) m_out.close();
    m_out.clear();
    if (!m_temporary.empty()) std::remove(m_temporary.c_str());
    m_temporary.clear();
}

}  // namespace tarvel_demo
