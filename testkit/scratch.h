// A private folder for one test or benchmark, made fresh under the
// temporary folder and removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace kestrix::testing {

class scratch {
public:
    explicit scratch(const std::string& name = "kestrix-test");
    ~scratch();
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside it, as text.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Writes `text` to `name` inside it; returns the file's path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

}  // namespace kestrix::testing
