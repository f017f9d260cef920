#include "ui/associations/WholeFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace larkspan {

namespace {

bool Fail(std::string* error, const std::string& what, const std::string& path, int code) {
    if (error) *error = what + " " + path + ": " + std::strerror(code);
    return false;
}

}  // namespace

bool ReplaceFileText(const std::string& path, const std::string& text, std::string* error) {
    const std::string temporary = path + ".new";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return Fail(error, "cannot write", temporary, errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int code = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return Fail(error, "cannot write", temporary, code);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return Fail(error, "cannot replace", path, code);
    }
    return true;
}

bool MakeFolders(const std::string& folder, std::string* error) {
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (code) {
        if (error) *error = "cannot create " + folder + ": " + code.message();
        return false;
    }
    return true;
}

}  // namespace larkspan
