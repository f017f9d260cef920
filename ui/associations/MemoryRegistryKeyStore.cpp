#include "ui/associations/MemoryRegistryKeyStore.h"

#include <cctype>

namespace larkspan {

namespace {

std::string Folded(const std::string& key) {
    std::string folded = key;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

}  // namespace

MemoryRegistryKeyStore::Key& MemoryRegistryKeyStore::Create(const std::string& key) {
    const std::string folded = Folded(key);
    for (size_t at = folded.find('\\'); at != std::string::npos; at = folded.find('\\', at + 1)) {
        keys_[folded.substr(0, at)];
    }
    return keys_[folded];
}

bool MemoryRegistryKeyStore::SetDefaultString(const std::string& key, const std::string& text) {
    Create(key).defaultValue = text;
    return true;
}

bool MemoryRegistryKeyStore::SetBinaryValue(const std::string& key, const std::string& name,
                                            const std::vector<uint8_t>& bytes) {
    Create(key).binaryValues[Folded(name)] = bytes;
    return true;
}

std::optional<std::string> MemoryRegistryKeyStore::ReadDefaultString(const std::string& key) const {
    const auto it = keys_.find(Folded(key));
    return it == keys_.end() ? std::nullopt : it->second.defaultValue;
}

bool MemoryRegistryKeyStore::KeyExists(const std::string& key) const { return keys_.count(Folded(key)) != 0; }

std::optional<std::vector<uint8_t>> MemoryRegistryKeyStore::BinaryValue(const std::string& key,
                                                                        const std::string& name) const {
    const auto it = keys_.find(Folded(key));
    if (it == keys_.end()) return std::nullopt;
    const auto value = it->second.binaryValues.find(Folded(name));
    if (value == it->second.binaryValues.end()) return std::nullopt;
    return value->second;
}

}  // namespace larkspan
