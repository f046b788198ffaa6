// A fresh temporary folder for one benchmark, removed afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace zortan::bench {

class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device rd;
        const auto base = std::filesystem::temp_directory_path();
        do path_ = base / ("zortan-bench-" + std::to_string(rd()));
        while (!std::filesystem::create_directory(path_));
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace zortan::bench
