// A fresh temporary directory for one test, removed with everything in it at the end (when the
// environment names a folder in TARVEL_FUZZ_SEEDS, the files of up to 64 KiB are first copied
// there: scripts/fuzz.sh seeds its targets with them); a device node for the writers' tests;
// whole-file bytes; and archive round trips through a temporary file with the little-endian words
// that archives hold.
#pragma once

#include <tarvel/Tarvel.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tarvel_test
{

class TempDir
{
public:
    TempDir()  // a new directory of a name no other has (mkdtemp)
    {
        std::string name = (std::filesystem::temp_directory_path() / "tarvel-test-XXXXXX").string();
        m_path = ::mkdtemp(&name[0]) ? name : throw std::runtime_error("no temporary directory");
    }
    ~TempDir()  // a directory that cannot be removed is left behind
    {
        std::error_code ec;
        const char* seeds = std::getenv("TARVEL_FUZZ_SEEDS");
        if (seeds && *seeds) std::filesystem::create_directories(seeds, ec);
        for (const auto& entry : std::filesystem::directory_iterator(m_path, ec))
            if (seeds && *seeds && entry.is_regular_file(ec) && entry.file_size(ec) <= 65536)
                std::filesystem::copy_file(
                    entry.path(),
                    std::filesystem::path(seeds) /
                        (m_path.filename().string() + "-" + entry.path().filename().string()),
                    std::filesystem::copy_options::overwrite_existing, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// A character device at path with the numbers of /dev/null (what is written vanishes); false
// where the test may not make one (not root, or a container without the capability).
inline bool make_null_device(const std::string& p)
{
    return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}
inline bool is_char_device(const std::string& path)
{
    struct stat s = {};
    return ::stat(path.c_str(), &s) == 0 && S_ISCHR(s.st_mode);
}

inline std::string read_bytes(const std::string& name)
{
    std::ostringstream out;
    out << std::ifstream(name, std::ios::binary).rdbuf();
    return out.str();
}
inline void write_bytes(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

// The bytes that a storing archive holds after `write` (the archive is closed even when `write`
// throws, as its destructor does); `read` run on a loading archive over the given bytes.
inline std::string stored_bytes(const std::function<void(CArchive&)>& write)
{
    TempDir dir;
    {
        CFile file(dir.file("a.bin").c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        write(ar);
    }
    return read_bytes(dir.file("a.bin"));
}
inline void load_bytes(const std::string& bytes, const std::function<void(CArchive&)>& read)
{
    TempDir dir;
    write_bytes(dir.file("a.bin"), bytes);
    CFile file(dir.file("a.bin").c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    read(ar);
}

// The cause of the CArchiveException that `run` throws, or -1 when it throws none; the same
// for `read` on a loading archive over the bytes.
inline int failure_cause(const std::function<void()>& run)
{
    try
    {
        return run(), -1;
    }
    catch (const CArchiveException& e)
    {
        return e.m_cause;
    }
}
inline int load_failure(const std::string& bytes, const std::function<void(CArchive&)>& read)
{
    return failure_cause([&] { load_bytes(bytes, read); });
}

// Words as the archive holds them (the test hosts are little-endian like the archive); the tag
// of a first object of a class not yet stored: 0xFFFF, schema, name length, name.
inline std::string le16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
inline std::string le32(std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
inline std::string le64(double d) { return std::string(reinterpret_cast<const char*>(&d), 8); }
inline std::string new_class(unsigned schema, const std::string& name)
{
    return le16(0xFFFF) + le16(schema) + le16(unsigned(name.size())) + name;
}

}  // namespace tarvel_test
