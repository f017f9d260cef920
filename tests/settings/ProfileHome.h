#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A private configuration folder for the whole test process. QSettings reads
// XDG_CONFIG_HOME once per process, so it is set once, before first use.
inline const std::filesystem::path& ProfileHome() {
    static const std::filesystem::path home = [] {
        auto p = std::filesystem::temp_directory_path() / ("lk-profile-" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        ::setenv("XDG_CONFIG_HOME", p.c_str(), 1);
        return p;
    }();
    return home;
}
