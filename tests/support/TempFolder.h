#pragma once
// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
#include <filesystem>
#include <string>
#include <vector>

namespace larkspan::testsupport {

class TempFolder {
public:
    // tag goes into the folder's name, so a left-over folder tells whose it was.
    explicit TempFolder(const std::string& tag = "test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Dir() const { return dir_; }
    std::string Path() const { return dir_.string(); }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path dir_;
};

}  // namespace larkspan::testsupport
