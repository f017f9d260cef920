#include "recorder/OutputClaim.h"

#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "recorder/OutputNaming.h"
#include "recorder/RunOutputs.h"

namespace larkspan {

namespace {

std::mutex g_mutex;
std::set<std::string>& Claimed() {
    static std::set<std::string> claimed;
    return claimed;
}

bool OnDisk(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

// "dir/clip.asf", 2 -> "dir/clip (2).asf". The stem is cut (not inside a
// UTF-8 character) so that the name stays one the system can create.
std::string Variant(const std::string& path, int n) {
    std::filesystem::path p(path);
    std::string stem = p.stem().string();
    const std::string tail = " (" + std::to_string(n) + ")" + p.extension().string();
    if (stem.size() + tail.size() > kMaxFileNameBytes && tail.size() < kMaxFileNameBytes) {
        size_t cut = kMaxFileNameBytes - tail.size();
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    return (p.parent_path() / (stem + tail)).string();
}

}  // namespace

std::string OutputPathKey(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec) p = std::filesystem::path(path);
    return p.lexically_normal().string();
}

OutputClaim::~OutputClaim() { Release(); }

void OutputClaim::Release() {
    if (key_.empty()) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    Claimed().erase(key_);
    key_.clear();
}

bool OutputClaim::Holds(const std::string& path) const { return !key_.empty() && key_ == OutputPathKey(path); }

bool OutputClaim::InUse(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return Claimed().count(OutputPathKey(path)) != 0;
}

bool OutputClaim::Claim(const std::string& path) {
    Release();
    std::string key = OutputPathKey(path);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!Claimed().insert(key).second) return false;
    key_ = key;
    return true;
}

std::string OutputClaim::ClaimFreeVariant(const std::string& path, const RunOutputs* written) {
    Release();
    std::lock_guard<std::mutex> lock(g_mutex);
    auto taken = [written](const std::string& key) {
        return Claimed().count(key) != 0 || (written && written->ContainsKey(key));
    };
    std::string chosen = path;
    std::string key = OutputPathKey(chosen);
    for (int n = 2; taken(key) && n < 10000; ++n) {
        // The variant must be free on disk too, so that it is never another
        // recording's earlier file.
        std::string candidate = Variant(path, n);
        std::string candidateKey = OutputPathKey(candidate);
        if (!taken(candidateKey) && !OnDisk(candidate)) {
            chosen = candidate;
            key = candidateKey;
        }
    }
    if (Claimed().insert(key).second) key_ = key;
    return chosen;
}

}  // namespace larkspan
