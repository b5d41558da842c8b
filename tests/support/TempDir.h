#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace hvn::test {

// A fresh folder under the system's temporary folder, named <prefix>-XXXXXX, removed with
// everything in it when the object goes away.
class TempDir {
public:
    explicit TempDir(std::string_view prefix = "halvane-test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::string &name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace hvn::test
