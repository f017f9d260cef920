#pragma once
#ifdef _WIN32
#include "ui/associations/RegistryKeyStore.h"

namespace larkspan {

// The Windows registry. Writes go to HKEY_CURRENT_USER\Software\Classes,
// which every user may write; reads go through HKEY_CLASSES_ROOT, the view
// in which the user's class keys take precedence over the machine's.
class Win32RegistryKeyStore : public RegistryKeyStore {
public:
    bool SetDefaultString(const std::string& key, const std::string& text) override;
    bool SetBinaryValue(const std::string& key, const std::string& name, const std::vector<uint8_t>& bytes) override;
    std::optional<std::string> ReadDefaultString(const std::string& key) const override;
    bool KeyExists(const std::string& key) const override;
    std::string LastError() const override { return lastError_; }

private:
    bool SetValue(const std::string& key, const std::string& name, unsigned long type, const void* data,
                  unsigned long size);

    std::string lastError_;
};

}  // namespace larkspan
#endif
