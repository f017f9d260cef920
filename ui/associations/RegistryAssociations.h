#pragma once
#include <memory>
#include <string>
#include <vector>

#include "ui/associations/FileAssociations.h"
#include "ui/associations/RegistryKeyStore.h"

namespace larkspan {

// Associations in the Windows registry's class keys: each extension key names
// a program identifier ("VeskASFFile" for .asf, "VeskASXFile" for the
// others), and the identifier carries the icon and the verbs open, play and
// record, each starting the program with "/Open", "/Play" or "/Record" and
// the file. Withdrawing an extension gives it the standard identifier of the
// type back and leaves our identifiers and the mms scheme keys in place.
class RegistryAssociations : public FileAssociations {
public:
    RegistryAssociations(std::string programPath, std::unique_ptr<RegistryKeyStore> store);

    // True when the extension key exists and its default value is the
    // identifier exactly, letter case included.
    bool IsAssociated(const std::string& extension, const std::string& identifier) const;
    // Writes the extension key (unless the extension is empty, as for the
    // scheme keys), the identifier's edit flags, icon and verbs. Goes on after
    // a failed write and returns false when any write failed.
    bool RegisterType(const std::string& extension, const std::string& identifier);
    // Sets the extension key's default value only.
    bool RestoreType(const std::string& extension, const std::string& value);

    AssociationState StateOf(AssociationGroup group) override;
    bool Associate(AssociationGroup group) override;
    bool Withdraw(AssociationGroup group) override;
    void NotifyChanged() override;
    std::string LastError() const override { return lastError_; }
    // Every extension has a key of its own, so no group drags another along.
    std::vector<AssociationGroup> GroupsSharingTypesWith(AssociationGroup group) const override { return {}; }

private:
    // Passes the result of one write through, keeping the first failure's text.
    bool Recorded(bool written);

    std::string programPath_;
    std::unique_ptr<RegistryKeyStore> store_;
    std::string lastError_;
};

}  // namespace larkspan
