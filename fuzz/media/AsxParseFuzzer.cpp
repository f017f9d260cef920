// Playlist bytes from anywhere: the parser must stay inside its fixed
// capacities, report at most once and take every entry from the text; the
// classifier must cope with any text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "media/AsxParser.h"
#include "media/MediaRefKind.h"

namespace {

using larkspan::AsxParser;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

volatile unsigned touched;

struct CheckingSink : larkspan::AsxSink {
    int calls = 0;
    int cutAt = -1;
    size_t inputSize = 0;
    // The text as given when it is read byte for byte and holds no entity
    // (no UTF-16 to convert, nothing to decode): every entry is a piece of it.
    std::string_view plainText;
    void PlaylistCut(int kept) override {
        if (calls != 0 || cutAt >= 0) Fail("cut reported twice or after the entries");
        cutAt = kept;
    }
    void RecordEntries(int count, const std::string_view* refs) override {
        if (++calls != 1) Fail("RecordEntries called twice");
        if (count < 1 || static_cast<size_t>(count) > AsxParser::kMaxEntries) Fail("entry count");
        if (cutAt >= 0 && cutAt != count) Fail("cut count differs from the entries");
        size_t pool = 0;
        for (int i = 0; i < count; ++i) {
            pool += refs[i].size() + 1;
            // Touch every byte, so ASan checks that each view is readable.
            unsigned sum = 0;
            for (char c : refs[i]) sum += static_cast<unsigned char>(c);
            touched = sum;
            if (!plainText.empty() && plainText.find(refs[i]) == std::string_view::npos) Fail("entry not in the text");
        }
        // One entry may be the whole text (converted from UTF-16 it can grow
        // by half); a list of entries fits the pool.
        if (count > 1 && pool > AsxParser::kPoolCapacity) Fail("pool overflow");
        if (count == 1 && refs[0].size() > inputSize * 2 && refs[0].size() > AsxParser::kPoolCapacity)
            Fail("entry larger than its input");
    }
    void SetMoreInfoLink(std::string_view link) override {
        if (calls != 0) Fail("more-info after the entries");
        if (link.size() > AsxParser::kAttrTextCapacity) Fail("more-info too long");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingSink sink;
    sink.inputSize = size;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool utf16 = size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    if (!utf16 && input.find('&') == std::string_view::npos) sink.plainText = input;
    larkspan::ParseAsx(data, size, sink);

    std::string_view text(reinterpret_cast<const char*>(data), size);
    char out[1024];
    std::string_view head = text.substr(0, sizeof out);
    if (larkspan::DecodeXmlEntities(head, out, sizeof out) > head.size()) Fail("entity decoding grew");

    // The classifier looks at the file system; keep to short texts, which is
    // what references are.
    if (size <= 512) {
        larkspan::MediaRefKind kind = larkspan::ClassifyMediaRef(text);
        if (kind & ~0x77F7u) Fail("unknown bit");
        if (((kind & 1) != 0) == ((kind & 2) != 0)) Fail("LocalFile and NotLocal");
        for (uint32_t group : {0x00F0u, 0x0700u, 0x7000u})
            if (__builtin_popcount(kind & group) > 1) Fail("two bits of one group");
    }
    return 0;
}
