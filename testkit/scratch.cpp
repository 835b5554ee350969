#include "testkit/scratch.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace kestrix::testing {

namespace fs = std::filesystem;

scratch::scratch(const std::string& name) {
    std::string pattern = (fs::temp_directory_path() / (name + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder for " + name);
    path_ = pattern;
}

scratch::~scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string scratch::write(const std::string& name, const std::string& text) const {
    const fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
}

}  // namespace kestrix::testing
