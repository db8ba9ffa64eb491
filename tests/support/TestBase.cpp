// What every test binary shares, the platform's tests among them: nothing here reaches the run log.
#include "TestSupport.h"

#include "platform/testing.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace testsupport {

std::string randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string s(n, 0);
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

TempDir::TempDir(const char* under)
{
    std::string pattern = std::string(under) + "/veldrane-test-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    if (!made) {
        pattern = "/tmp/veldrane-test-XXXXXX";
        made = mkdtemp(pattern.data());
    }
    m_path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void TempDir::write(const std::string& name, const std::string& contents) const
{
    std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
    std::ofstream out(file(name), std::ios::binary);
    out << contents;
}

std::string TempDir::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

void copyDataFolder(const std::string& from, const std::string& to)
{
    namespace fs = std::filesystem;
    fs::create_directories(to);
    for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& path = it->path();
        const std::string name = path.filename().string();
        const bool cache = (it->is_directory() && name == "mipmaps") || path.extension() == ".xim" ||
                           (name.starts_with("~") && path.extension() == ".tmp");
        if (cache) {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        const fs::path target = fs::path(to) / fs::relative(path, from);
        if (it->is_directory())
            fs::create_directories(target);
        else
            fs::copy_file(path, target, fs::copy_options::overwrite_existing);
    }
}

ScopedCwd::ScopedCwd(const std::string& path)
{
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

ScopedCwd::~ScopedCwd() { std::filesystem::current_path(m_previous); }

void interceptExits()
{
    platform::testing::setExitHook([](int code) { throw ProcessExit{code}; });
}

}  // namespace testsupport
