// Time to parse a ~100 KB playlist (the largest the recorder reads), in the
// shapes that matter: mostly markup around a full entry list, and a long
// text without tags that is handed on whole.
//
//   asx_parse_bench [iterations]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/AsxParser.h"

namespace {

struct CountingSink : larkspan::AsxSink {
    size_t entries = 0;
    size_t bytes = 0;
    void RecordEntries(int count, const std::string_view* refs) override {
        entries += static_cast<size_t>(count);
        for (int i = 0; i < count; ++i) bytes += refs[i].size();
    }
};

// A real-world-looking playlist: titles, authors, params, comments and
// entries whose URLs carry "&amp;", grown to about target bytes.
std::string Playlist(size_t target) {
    std::string doc = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<ASX version=\"3.0\">\r\n"
                      "  <TITLE>Station list</TITLE>\r\n  <MOREINFO HREF=\"http://example.org/info?a=1&amp;b=2\"/>\r\n";
    const std::string end = "</ASX>\r\n";
    for (int i = 0;; ++i) {
        std::string n = std::to_string(i);
        std::string entry = "  <!-- entry " + n + " -->\r\n  <Entry>\r\n    <Title>Program number " + n +
                            " with a fairly long descriptive title</Title>\r\n    <Author>Broadcaster " + n +
                            "</Author>\r\n    <Copyright>(c) someone</Copyright>\r\n"
                            "    <Param name=\"Prebuffer\" value=\"true\"/>\r\n"
                            "    <Ref href=\"mms://media" + n + ".example.org/live/stream" + n +
                            ".asf?user=guest&amp;session=" + n + "&amp;q=high\"/>\r\n  </Entry>\r\n";
        if (doc.size() + entry.size() + end.size() > target) break;
        doc += entry;
    }
    return doc + end;
}

template <typename F>
double MedianMicros(int iterations, F&& body) {
    std::vector<double> samples;
    samples.reserve(iterations);
    for (int i = 0; i < iterations; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        body();
        auto t1 = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void Run(const char* label, const std::string& doc, int iterations) {
    CountingSink sink;
    for (int i = 0; i < 20; ++i) larkspan::ParseAsx(doc.data(), doc.size(), sink);  // warm up
    sink = CountingSink{};
    double us = MedianMicros(iterations, [&] { larkspan::ParseAsx(doc.data(), doc.size(), sink); });
    double mbps = doc.size() / us;  // bytes per microsecond = MB/s
    std::printf("%-34s %7zu bytes  %8.1f us/parse (median of %d)  %7.1f MB/s  %zu entries/parse\n", label,
                doc.size(), us, iterations, mbps, sink.entries / static_cast<size_t>(iterations));
}

std::string Utf16(const std::string& ascii) {
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const size_t kSize = 100 * 1024 - 1;  // the recorder ignores meta files of 102400 bytes or more
    std::string playlist = Playlist(kSize);
    Run("playlist, 100 KB", playlist, iterations);

    // Nothing but tags with long quoted values: the byte-by-byte path.
    std::string dense;
    const std::string tags =
        "<Param name=\"x\" value=\"" + std::string(400, 'v') + "\"/><Ref href=\"" + std::string(300, 'r') + "\"/>";
    while (dense.size() + tags.size() <= kSize) dense += tags;
    Run("dense tags, 100 KB", dense, iterations);

    std::string plain = "mms://host/" + std::string(kSize - 11, 'a');
    Run("plain text handed on whole", plain, iterations);

    Run("UTF-16 playlist, 200 KB", Utf16(playlist), iterations / 4 + 1);
    return 0;
}
