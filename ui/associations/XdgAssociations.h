#pragma once
#include <string>
#include <vector>

#include "ui/associations/FileAssociations.h"

namespace larkspan {

class MimeAppsList;

// The user's base folders of the XDG layout.
struct XdgFolders {
    std::string dataHome;    // $XDG_DATA_HOME, else ~/.local/share
    std::string configHome;  // $XDG_CONFIG_HOME, else ~/.config

    static XdgFolders FromEnvironment();
};

// Associations on an XDG desktop: a desktop entry for the program in
// <dataHome>/applications, and the user's defaults in
// <configHome>/mimeapps.list, section "[Default Applications]". A type is
// ours when its default names our desktop entry first.
//
// Taking a type over remembers what its default line said before, in
// <configHome>/Brellow/larkspan-recorder-previous-defaults.list (a file of
// our own beside the program's profile, as mimeapps.list has no room for
// it), and withdrawing puts that line back, or drops the line when the type
// had no default.
class XdgAssociations : public FileAssociations {
public:
    XdgAssociations(std::string programPath, XdgFolders folders);

    AssociationState StateOf(AssociationGroup group) override;
    bool Associate(AssociationGroup group) override;
    bool Withdraw(AssociationGroup group) override;
    // Refreshes the desktop's cache of the applications folder with
    // update-desktop-database when that tool is installed.
    void NotifyChanged() override;
    std::string LastError() const override { return lastError_; }
    std::vector<AssociationGroup> GroupsSharingTypesWith(AssociationGroup group) const override;

    // The MIME types the group's file extensions map to, each once.
    static std::vector<std::string> TypesOf(AssociationGroup group);
    // The URL scheme types handed over along with the group.
    static std::vector<std::string> SchemesOf(AssociationGroup group);

    std::string ApplicationsFolder() const;
    std::string DesktopEntryPath() const;
    std::string MimeAppsPath() const;
    std::string PreviousDefaultsPath() const;

private:
    bool IsOurs(const MimeAppsList& apps, const std::string& type) const;
    // True when another group that holds the type still has a type of its
    // own (one this group does not hold) that is ours.
    bool NeededByOtherGroup(const MimeAppsList& apps, AssociationGroup group, const std::string& type) const;
    bool LoadLists(MimeAppsList& apps, MimeAppsList& previous);
    bool SaveLists(const MimeAppsList& apps, const MimeAppsList& previous);
    bool WriteDesktopEntry();

    std::string programPath_;
    XdgFolders folders_;
    std::string lastError_;
};

}  // namespace larkspan
