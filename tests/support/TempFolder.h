// A fresh, uniquely named folder under the system's temporary folder for
// tests that read and write real files.
#pragma once

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

inline std::filesystem::path MakeTempFolder(const std::string& prefix)
{
    namespace fs = std::filesystem;
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::path dir;
    do {
        dir = fs::temp_directory_path() / (prefix + std::to_string(random()));
    } while (!fs::create_directory(dir));
    return dir;
}
