// The fuzzer's bytes as a file the library opens by name: a memory file (memfd) reached through
// its /proc/self/fd entry, rewritten for every input, so that no input touches the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace tarvel_fuzz
{

class FuzzFile
{
public:
    FuzzFile() : m_fd(memfd_create("tarvel-fuzz", 0))
    {
        if (m_fd < 0) std::abort();
        m_name = "/proc/self/fd/" + std::to_string(m_fd);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    // Makes the file hold exactly data[0 .. size - 1]; returns its name.
    const char* Hold(const std::uint8_t* data, std::size_t size)
    {
        if (ftruncate(m_fd, 0) != 0) std::abort();
        std::size_t done = 0;
        while (done < size)
        {
            const ssize_t n = pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        return m_name.c_str();
    }

private:
    int m_fd;
    std::string m_name;
};

// One file per target process.
inline FuzzFile& fuzz_file()
{
    static FuzzFile file;
    return file;
}

}  // namespace tarvel_fuzz
