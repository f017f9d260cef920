#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace larkspan {

// The part of the registry the file-type registration writes: keys under the
// current user's class root, named by backslash-separated paths such as
// "VeskASFFile\shell\open\command", with texts in UTF-8.
class RegistryKeyStore {
public:
    virtual ~RegistryKeyStore() = default;

    // Creates the key (and the keys above it) when missing and sets its
    // default value. False with LastError() when nothing could be written.
    virtual bool SetDefaultString(const std::string& key, const std::string& text) = 0;
    virtual bool SetBinaryValue(const std::string& key, const std::string& name,
                                const std::vector<uint8_t>& bytes) = 0;
    // The key's default value; nullopt when the key or its value is missing.
    virtual std::optional<std::string> ReadDefaultString(const std::string& key) const = 0;
    virtual bool KeyExists(const std::string& key) const = 0;
    virtual std::string LastError() const = 0;
};

}  // namespace larkspan
