// Runs a fuzz target without libFuzzer: every file named on the command line
// (or found in a named folder), then a fixed, repeatable set of mutations of
// each (bit flips, truncations, byte runs), so that the ordinary test suite
// exercises the target on every build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Run(const std::vector<uint8_t>& input) {
    // A copy of exactly the input's size, so ASan sees reads past its end.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(input.size() ? input.size() : 1));
    if (!input.empty()) std::memcpy(copy, input.data(), input.size());
    LLVMFuzzerTestOneInput(copy, input.size());
    std::free(copy);
}

uint32_t Next(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void Mutate(const std::vector<uint8_t>& seed, int count, uint32_t salt) {
    uint32_t state = 0x9E3779B9u ^ salt;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> m = seed;
        int edits = 1 + Next(state) % 8;
        for (int e = 0; e < edits; ++e) {
            switch (Next(state) % 5) {
            case 0:
                if (!m.empty()) m[Next(state) % m.size()] ^= uint8_t(1u << (Next(state) % 8));
                break;
            case 1:
                if (!m.empty()) m.resize(Next(state) % m.size());
                break;
            case 2:
                if (!m.empty()) m[Next(state) % m.size()] = uint8_t(Next(state));
                break;
            case 3: {
                static const uint8_t interesting[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0x08, 0x82};
                if (!m.empty()) m[Next(state) % m.size()] = interesting[Next(state) % sizeof(interesting)];
                break;
            }
            default:
                m.insert(m.begin() + (m.empty() ? 0 : Next(state) % m.size()), Next(state) % 64, uint8_t(Next(state)));
                break;
            }
        }
        Run(m);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int mutations = 0;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--mutations=", 0) == 0) {
            mutations = std::atoi(arg.c_str() + 12);
            continue;
        }
        std::filesystem::path p(arg);
        if (std::filesystem::is_directory(p)) {
            for (auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
        } else if (std::filesystem::exists(p)) {
            files.push_back(p);
        }
    }
    std::sort(files.begin(), files.end());
    Run({});
    uint32_t salt = 1;
    for (auto& f : files) {
        auto data = ReadAll(f);
        Run(data);
        if (mutations > 0) Mutate(data, mutations, salt++);
    }
    std::printf("replayed %zu inputs with %d mutations each\n", files.size(), mutations);
    return 0;
}
