// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace zortan::testing {

class TempDir {
  public:
    TempDir() {
        for (std::random_device rd; !std::filesystem::create_directory(path_);)
            path_ =
                std::filesystem::temp_directory_path() / ("zortan-test-" + std::to_string(rd()));
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }

  private:
    // The temporary folder itself exists, so the constructor draws a name.
    std::filesystem::path path_ = std::filesystem::temp_directory_path();
};

inline std::string readFileBytes(const std::string& path) {
    std::ostringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

}  // namespace zortan::testing
