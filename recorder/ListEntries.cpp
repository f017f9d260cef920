#include "recorder/ListEntries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "media/AsxParser.h"
#include "media/MediaRefKind.h"
#include "recorder/OutputNaming.h"

namespace larkspan {

namespace {

// The file name of a local path without folder and extension.
std::string NameOfLocalFile(const std::string& path) {
    return std::filesystem::path(FileNameOf(path)).stem().string();
}

// The whole playlist file, or nothing when it is not a regular file, cannot
// be opened or read, or is too large to list. Never waits on a FIFO or a
// device: the type is checked before opening and again on the descriptor,
// which is opened non-blocking in case the path changed in between.
std::optional<std::string> ReadSmallRegularFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
        static_cast<std::uint64_t>(st.st_size) < kMaxListedPlaylistBytes) {
        // Read to the end rather than trusting the size, which may change
        // while we read; a file that grows to the limit is too large.
        std::string bytes(kMaxListedPlaylistBytes, '\0');
        size_t got = 0;
        bool failed = false;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) failed = true;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (!failed && got < kMaxListedPlaylistBytes) {
            bytes.resize(got);
            text = std::move(bytes);
        }
    }
    ::close(fd);
    return text;
}

class EntryCollector : public AsxSink {
public:
    void RecordEntries(int count, const std::string_view* references) override {
        for (int i = 0; i < count; ++i) entries.emplace_back(references[i]);
    }
    void PlaylistCut(int) override { cut = true; }

    std::vector<std::string> entries;
    bool cut = false;
};

// Reads a decimal number as far as it goes, after leading blanks and an
// optional sign; saturates instead of overflowing. Nothing when no digit
// follows.
std::optional<std::int64_t> LeadingNumber(std::string_view text, size_t& pos) {
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return std::nullopt;
    constexpr std::int64_t kCeiling = INT_MAX;
    std::int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = std::min<std::int64_t>(value * 10 + (text[pos] - '0'), kCeiling);
        ++pos;
    }
    return negative ? -value : value;
}

}  // namespace

ListAddition ListEntriesFor(const std::string& source, const std::string& name, const std::string& recordTime) {
    ListAddition addition;
    if (source.empty()) return addition;

    const MediaRefKind kind = ClassifyMediaRef(source);
    std::string rowName = name;
    if (rowName.empty() && (kind & (refkind::LocalFile | refkind::AsxInAsf)) != 0) rowName = NameOfLocalFile(source);

    if (!IsMetaKind(kind)) {
        addition.rows.push_back({source, rowName, recordTime});
        addition.entersRecentList = true;
        return addition;
    }

    // A playlist: only a local one can be read; an address naming a remote
    // playlist is listed as it is and fetched when it is recorded.
    std::optional<std::string> text;
    if ((kind & refkind::LocalFile) != 0) text = ReadSmallRegularFile(source);
    if (!text) {
        addition.rows.push_back({source, rowName, recordTime});
        return addition;
    }

    EntryCollector collector;
    ParseAsx(text->data(), text->size(), collector);
    const int count = static_cast<int>(collector.entries.size());
    for (int i = 0; i < count; ++i)
        addition.rows.push_back({std::move(collector.entries[i]), EntryName(rowName, count, i), "0"});
    addition.entersRecentList = true;
    addition.playlistCut = collector.cut;
    return addition;
}

bool IsRecordable(std::string_view source) {
    const MediaRefKind kind = ClassifyMediaRef(source);
    if ((kind & refkind::NotLocal) != 0) return true;
    return (kind & refkind::LocalFile) != 0 && IsMetaKind(kind);
}

bool ApplyRecordTime(RecorderSettings& settings, std::string_view recordTime) {
    if (recordTime.empty() || recordTime == "0") return false;
    size_t pos = 0;
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    if (recordTime.find(':') == std::string_view::npos) {
        minutes = LeadingNumber(recordTime, pos).value_or(0);
    } else if (std::optional<std::int64_t> h = LeadingNumber(recordTime, pos)) {
        hours = *h;
        // "h:m": the minutes count only when the colon follows the hours.
        if (pos < recordTime.size() && recordTime[pos] == ':') {
            ++pos;
            minutes = LeadingNumber(recordTime, pos).value_or(0);
        }
    }
    const std::int64_t seconds = hours * 3600 + minutes * 60;
    if (seconds <= 0) return false;
    settings.timePolicy = 1;
    settings.sizePolicy = 0;
    settings.maxTime = static_cast<int>(std::min<std::int64_t>(seconds, INT_MAX));
    return true;
}

}  // namespace larkspan
