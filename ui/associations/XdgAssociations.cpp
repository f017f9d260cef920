#include "ui/associations/XdgAssociations.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

#include "ui/associations/DesktopEntry.h"
#include "ui/associations/MimeAppsList.h"
#include "ui/associations/WholeFile.h"

extern char** environ;

namespace larkspan {

namespace {

const char* const kDefaults = "Default Applications";
const char* const kRemoved = "Removed Associations";
// Sections of our own file: the default line's text before we took the
// type, or the type's name alone when it had no default line.
const char* const kPrevious = "Previous Defaults";
const char* const kNoPrevious = "No Previous Default";

const AssociationGroup kAllGroups[] = {AssociationGroup::Asf, AssociationGroup::Audio, AssociationGroup::Video};

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::vector<std::string> Without(std::vector<std::string> list, const std::string& item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
    return list;
}

}  // namespace

XdgFolders XdgFolders::FromEnvironment() {
    const char* home = std::getenv("HOME");
    const std::string homeFolder = home ? home : "";
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // The base directory rules ignore relative paths.
    XdgFolders folders;
    folders.dataHome = data && data[0] == '/' ? data : homeFolder + "/.local/share";
    folders.configHome = config && config[0] == '/' ? config : homeFolder + "/.config";
    return folders;
}

XdgAssociations::XdgAssociations(std::string programPath, XdgFolders folders)
    : programPath_(std::move(programPath)), folders_(std::move(folders)) {}

std::vector<std::string> XdgAssociations::TypesOf(AssociationGroup group) {
    switch (group) {
        case AssociationGroup::Asf: return {"application/vnd.ms-asf", "audio/x-ms-asx"};  // .asf; .asx, .wmx
        case AssociationGroup::Audio: return {"audio/x-ms-wma", "audio/x-ms-asx"};         // .wma; .wax
        case AssociationGroup::Video: return {"video/x-ms-wmv", "audio/x-ms-asx"};         // .wmv; .wvx
    }
    return {};
}

std::vector<std::string> XdgAssociations::SchemesOf(AssociationGroup group) {
    if (group != AssociationGroup::Asf) return {};
    return {"x-scheme-handler/mms", "x-scheme-handler/mmst", "x-scheme-handler/mmsu"};
}

std::string XdgAssociations::ApplicationsFolder() const { return folders_.dataHome + "/applications"; }
std::string XdgAssociations::DesktopEntryPath() const {
    return ApplicationsFolder() + "/" + desktop_entry::kFileName;
}
std::string XdgAssociations::MimeAppsPath() const { return folders_.configHome + "/mimeapps.list"; }
std::string XdgAssociations::PreviousDefaultsPath() const {
    return folders_.configHome + "/Brellow/larkspan-recorder-previous-defaults.list";
}

bool XdgAssociations::IsOurs(const MimeAppsList& apps, const std::string& type) const {
    const std::vector<std::string> handlers = apps.ListValue(kDefaults, type);
    return !handlers.empty() && handlers.front() == desktop_entry::kFileName;
}

bool XdgAssociations::NeededByOtherGroup(const MimeAppsList& apps, AssociationGroup group,
                                         const std::string& type) const {
    const std::vector<std::string> ownTypes = TypesOf(group);
    for (AssociationGroup other : kAllGroups) {
        const std::vector<std::string> otherTypes = TypesOf(other);
        if (other == group || !Contains(otherTypes, type)) continue;
        for (const std::string& otherType : otherTypes) {
            if (!Contains(ownTypes, otherType) && IsOurs(apps, otherType)) return true;
        }
    }
    return false;
}

AssociationState XdgAssociations::StateOf(AssociationGroup group) {
    MimeAppsList apps;
    if (!apps.Load(MimeAppsPath(), &lastError_)) return AssociationState::Unchecked;
    const std::vector<std::string> types = TypesOf(group);
    const auto ours = std::count_if(types.begin(), types.end(), [&](const std::string& t) { return IsOurs(apps, t); });
    if (ours == 0) return AssociationState::Unchecked;
    return ours == static_cast<std::ptrdiff_t>(types.size()) ? AssociationState::Checked
                                                              : AssociationState::Indeterminate;
}

bool XdgAssociations::Associate(AssociationGroup group) {
    MimeAppsList apps;
    MimeAppsList previous;
    if (!WriteDesktopEntry() || !LoadLists(apps, previous)) return false;
    std::vector<std::string> types = TypesOf(group);
    for (const std::string& scheme : SchemesOf(group)) types.push_back(scheme);
    for (const std::string& type : types) {
        if (IsOurs(apps, type)) continue;  // keeps what was remembered when we took it
        const std::optional<std::string> before = apps.RawValue(kDefaults, type);
        if (before) {
            previous.SetRawValue(kPrevious, type, *before);
            previous.RemoveKey(kNoPrevious, type);
        } else {
            previous.SetRawValue(kNoPrevious, type, "");
            previous.RemoveKey(kPrevious, type);
        }
        std::vector<std::string> handlers = {desktop_entry::kFileName};
        for (const std::string& id : Without(apps.ListValue(kDefaults, type), desktop_entry::kFileName)) {
            handlers.push_back(id);  // the desktop falls back on them if our entry goes
        }
        apps.SetListValue(kDefaults, type, handlers);
        // A removal of our entry for the type would hide the default.
        const std::vector<std::string> removed = apps.ListValue(kRemoved, type);
        if (Contains(removed, desktop_entry::kFileName)) {
            const std::vector<std::string> rest = Without(removed, desktop_entry::kFileName);
            if (rest.empty()) {
                apps.RemoveKey(kRemoved, type);
            } else {
                apps.SetListValue(kRemoved, type, rest);
            }
        }
    }
    return SaveLists(apps, previous);
}

bool XdgAssociations::Withdraw(AssociationGroup group) {
    MimeAppsList apps;
    MimeAppsList previous;
    if (!LoadLists(apps, previous)) return false;
    std::vector<std::string> types = TypesOf(group);
    for (const std::string& scheme : SchemesOf(group)) types.push_back(scheme);
    for (const std::string& type : types) {
        if (NeededByOtherGroup(apps, group, type)) continue;
        if (IsOurs(apps, type)) {
            if (const std::optional<std::string> before = previous.RawValue(kPrevious, type)) {
                apps.SetRawValue(kDefaults, type, *before);
            } else {
                const std::vector<std::string> rest =
                    Without(apps.ListValue(kDefaults, type), desktop_entry::kFileName);
                if (rest.empty()) {
                    apps.RemoveKey(kDefaults, type);
                } else {
                    apps.SetListValue(kDefaults, type, rest);
                }
            }
        }
        // A type the user gave to another program since keeps that program.
        previous.RemoveKey(kPrevious, type);
        previous.RemoveKey(kNoPrevious, type);
    }
    return SaveLists(apps, previous);
}

bool XdgAssociations::LoadLists(MimeAppsList& apps, MimeAppsList& previous) {
    return apps.Load(MimeAppsPath(), &lastError_) && previous.Load(PreviousDefaultsPath(), &lastError_);
}

bool XdgAssociations::SaveLists(const MimeAppsList& apps, const MimeAppsList& previous) {
    // What to give back is on disk before any type changes hands.
    const std::string previousFolder = std::filesystem::path(PreviousDefaultsPath()).parent_path().string();
    return MakeFolders(previousFolder, &lastError_) && previous.Save(PreviousDefaultsPath(), &lastError_) &&
           MakeFolders(folders_.configHome, &lastError_) && apps.Save(MimeAppsPath(), &lastError_);
}

bool XdgAssociations::WriteDesktopEntry() {
    return MakeFolders(ApplicationsFolder(), &lastError_) &&
           ReplaceFileText(DesktopEntryPath(), desktop_entry::Text(programPath_), &lastError_);
}

void XdgAssociations::NotifyChanged() {
    std::error_code code;
    if (!std::filesystem::is_directory(ApplicationsFolder(), code)) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string tool = "update-desktop-database";
    std::string quiet = "-q";
    std::string folder = ApplicationsFolder();
    char* argv[] = {tool.data(), quiet.data(), folder.data(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, tool.c_str(), &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

std::vector<AssociationGroup> XdgAssociations::GroupsSharingTypesWith(AssociationGroup group) const {
    std::vector<AssociationGroup> sharing;
    const std::vector<std::string> types = TypesOf(group);
    for (AssociationGroup other : kAllGroups) {
        if (other == group) continue;
        for (const std::string& type : TypesOf(other)) {
            if (Contains(types, type)) {
                sharing.push_back(other);
                break;
            }
        }
    }
    return sharing;
}

}  // namespace larkspan
