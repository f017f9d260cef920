#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/associations/RegistryKeyStore.h"

namespace larkspan {

// A registry held in memory, for platforms without one and for tests. Key
// names are case-insensitive as in the registry; values are kept as given.
class MemoryRegistryKeyStore : public RegistryKeyStore {
public:
    bool SetDefaultString(const std::string& key, const std::string& text) override;
    bool SetBinaryValue(const std::string& key, const std::string& name, const std::vector<uint8_t>& bytes) override;
    std::optional<std::string> ReadDefaultString(const std::string& key) const override;
    bool KeyExists(const std::string& key) const override;
    std::string LastError() const override { return {}; }

    std::optional<std::vector<uint8_t>> BinaryValue(const std::string& key, const std::string& name) const;

private:
    struct Key {
        std::optional<std::string> defaultValue;
        std::map<std::string, std::vector<uint8_t>> binaryValues;
    };
    Key& Create(const std::string& key);

    std::map<std::string, Key> keys_;  // by lower-case path
};

}  // namespace larkspan
