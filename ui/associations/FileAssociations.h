#pragma once
#include <memory>
#include <string>
#include <vector>

namespace larkspan {

// The three groups of media types the preferences dialog offers to hand to
// this program, in the order the dialog lists and writes them.
enum class AssociationGroup : int { Asf = 0, Audio = 1, Video = 2 };

// How a group stands: none of its types is ours, all are, or only some.
enum class AssociationState : int { Unchecked = 0, Checked = 1, Indeterminate = 2 };

// Makes this program the handler of media file types and of the mms URL
// schemes, and gives them back. One implementation per desktop: the XDG
// desktop entry and mimeapps.list on Linux, the class keys of the registry
// on Windows.
class FileAssociations {
public:
    virtual ~FileAssociations() = default;

    virtual AssociationState StateOf(AssociationGroup group) = 0;
    // Hands every type of the group (and, for the Asf group, the mms, mmst and
    // mmsu schemes) to this program. False with LastError() when nothing or
    // only part could be written.
    virtual bool Associate(AssociationGroup group) = 0;
    // Gives every type of the group back to what handled it before.
    virtual bool Withdraw(AssociationGroup group) = 0;
    // Tells the desktop once, after a round of changes, that handlers changed.
    virtual void NotifyChanged() = 0;
    virtual std::string LastError() const = 0;

    // The other groups that change along with this one because the desktop
    // keeps some of their extensions under one shared type (on Linux .asx,
    // .wax, .wvx and .wmx are all audio/x-ms-asx). Empty where every
    // extension is its own type.
    virtual std::vector<AssociationGroup> GroupsSharingTypesWith(AssociationGroup group) const = 0;
};

// The store of the desktop this program was built for; programPath is the
// program the desktop is to start.
std::unique_ptr<FileAssociations> MakeDesktopAssociations(const std::string& programPath);

}  // namespace larkspan
