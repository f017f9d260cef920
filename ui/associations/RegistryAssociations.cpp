#include "ui/associations/RegistryAssociations.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <shlobj.h>
#endif

namespace larkspan {

namespace {

struct Extension {
    const char* extension;
    const char* identifier;  // ours
    const char* standard;    // the value withdrawing restores
};

std::vector<Extension> ExtensionsOf(AssociationGroup group) {
    switch (group) {
        case AssociationGroup::Asf:
            return {{".asf", "VeskASFFile", "ASFFile"}, {".asx", "VeskASXFile", "ASXFile"},
                    {".wmx", "VeskASXFile", "ASXFile"}};
        case AssociationGroup::Audio:
            return {{".wma", "VeskASXFile", "WMAFile"}, {".wax", "VeskASXFile", "WMAFile"}};
        case AssociationGroup::Video:
            return {{".wmv", "VeskASXFile", "WMVFile"}, {".wvx", "VeskASXFile", "WVXFile"}};
    }
    return {};
}

std::vector<std::string> SchemesOf(AssociationGroup group) {
    if (group != AssociationGroup::Asf) return {};
    return {"MMS", "MMST", "MMSU"};
}

struct Verb {
    const char* key;
    const char* displayName;  // shown by the shell: the Korean words for Open, Play and Record
    const char* argument;
};

const Verb kVerbs[] = {
    {"open", "\xEC\x97\xB4\xEA\xB8\xB0", "/Open"},      // 열기
    {"play", "\xEC\x9E\xAC\xEC\x83\x9D", "/Play"},      // 재생
    {"record", "\xEB\x85\xB9\xED\x99\x94", "/Record"},  // 녹화
};

// The flag word 0x00010000 in little-endian order: the shell may open the
// type without asking.
const std::vector<uint8_t> kEditFlags = {0x00, 0x00, 0x01, 0x00};

}  // namespace

RegistryAssociations::RegistryAssociations(std::string programPath, std::unique_ptr<RegistryKeyStore> store)
    : programPath_(std::move(programPath)), store_(std::move(store)) {}

bool RegistryAssociations::IsAssociated(const std::string& extension, const std::string& identifier) const {
    if (!store_->KeyExists(extension)) return false;
    const std::optional<std::string> value = store_->ReadDefaultString(extension);
    return value && *value == identifier;
}

bool RegistryAssociations::Recorded(bool written) {
    if (!written && lastError_.empty()) lastError_ = store_->LastError();
    return written;
}

bool RegistryAssociations::RegisterType(const std::string& extension, const std::string& identifier) {
    bool ok = true;
    if (!extension.empty()) {
        ok &= Recorded(store_->SetDefaultString(extension, identifier));
        ok &= Recorded(store_->SetBinaryValue(identifier, "EditFlags", kEditFlags));
    }
    ok &= Recorded(store_->SetDefaultString(identifier + "\\Defaulticon", programPath_ + ", 0"));
    for (const Verb& verb : kVerbs) {
        const std::string key = identifier + "\\shell\\" + verb.key;
        ok &= Recorded(store_->SetDefaultString(key, verb.displayName));
        const std::string command = "\"" + programPath_ + "\" " + verb.argument + " \"%L\"";
        ok &= Recorded(store_->SetDefaultString(key + "\\command", command));
    }
    return ok;
}

bool RegistryAssociations::RestoreType(const std::string& extension, const std::string& value) {
    return Recorded(store_->SetDefaultString(extension, value));
}

AssociationState RegistryAssociations::StateOf(AssociationGroup group) {
    size_t associated = 0;
    const std::vector<Extension> extensions = ExtensionsOf(group);
    for (const Extension& e : extensions) associated += IsAssociated(e.extension, e.identifier) ? 1 : 0;
    if (associated == 0) return AssociationState::Unchecked;
    return associated == extensions.size() ? AssociationState::Checked : AssociationState::Indeterminate;
}

bool RegistryAssociations::Associate(AssociationGroup group) {
    lastError_.clear();
    bool ok = true;
    for (const Extension& e : ExtensionsOf(group)) ok &= RegisterType(e.extension, e.identifier);
    for (const std::string& scheme : SchemesOf(group)) ok &= RegisterType("", scheme);
    return ok;
}

bool RegistryAssociations::Withdraw(AssociationGroup group) {
    lastError_.clear();
    bool ok = true;
    for (const Extension& e : ExtensionsOf(group)) ok &= RestoreType(e.extension, e.standard);
    return ok;
}

void RegistryAssociations::NotifyChanged() {
#ifdef _WIN32
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
#endif
}

}  // namespace larkspan
