#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <random>

// A fresh folder under /tmp (or under `base`), removed with everything in it when the test ends.
class TempDir {
public:
    explicit TempDir(const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
        std::random_device rd;
        for (;;) {
            path_ = base / ("quorvale-" + std::to_string(rd()) + "-" + std::to_string(rd()));
            if (std::filesystem::create_directory(path_))
                break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string repeated(const std::string& part, int times) {
    std::string out;
    while (times-- > 0)
        out += part;
    return out;
}
