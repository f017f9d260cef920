#pragma once
#include <string>

namespace larkspan {

class RunOutputs;

// One spelling per file, for comparing paths: absolute, with "." and ".."
// folded.
std::string OutputPathKey(const std::string& path);

// Recordings running at once in one process must never write the same
// file: two streams with the same last URL segment, or the same playlist
// fetched twice, would otherwise truncate and interleave each other's
// bytes. A running recording holds a claim on the path it writes; a second
// recording that names a claimed path is given a free variant of it
// ("clip (2).asf"). The claim ends with the object.
class OutputClaim {
public:
    OutputClaim() = default;
    ~OutputClaim();
    OutputClaim(const OutputClaim&) = delete;
    OutputClaim& operator=(const OutputClaim&) = delete;

    // Claims path, or its first variant no running recording holds and
    // nothing on disk occupies; returns the path claimed. With written, a
    // path an earlier recording of the same run wrote counts as taken too.
    // Releases what this object held before.
    std::string ClaimFreeVariant(const std::string& path, const RunOutputs* written = nullptr);
    // Claims exactly path; false when another recording holds it.
    bool Claim(const std::string& path);
    bool Holds(const std::string& path) const;
    void Release();

    // True when some running recording holds path.
    static bool InUse(const std::string& path);

private:
    std::string key_;  // normalised form of the claimed path; empty: none
};

}  // namespace larkspan
