#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "recorder/RecorderSettings.h"

namespace larkspan {

// How a source the user opens becomes rows of the record list. The window
// adds the rows in order (a row whose source is already listed is kept as it
// is) and, when asked to, moves the source to the front of its recent list.

// A local playlist is read only when it is a regular file smaller than this.
inline constexpr size_t kMaxListedPlaylistBytes = 102400;

struct ListRow {
    std::string source;
    std::string name;        // empty: the row has no name of its own
    std::string recordTime;  // "0", minutes, or "hours:minutes"

    bool operator==(const ListRow&) const = default;
};

struct ListAddition {
    std::vector<ListRow> rows;
    // The source goes to the front of the recent list: true when it was added
    // as it is or its playlist was read, false for an empty source and for a
    // playlist that could not be read (it is then listed as one row).
    bool entersRecentList = false;
    // The playlist held more entries than the reader keeps; `rows` has the
    // ones kept.
    bool playlistCut = false;
};

// The rows for (source, name, record time). Without a name, a local file is
// named after its file name without folder and extension. A local playlist
// (any MetaKinds bit) is read and gives one row per reference, each with
// record time "0", named name0, name1, ... when it has two or more (unnamed
// when the name is empty); a text without references but longer than 10
// bytes is itself the one reference, a shorter one gives no row. A playlist
// that cannot be read, is not a regular file, or is kMaxListedPlaylistBytes
// or larger becomes a single row for itself. Opening never blocks: a FIFO or
// device is not read.
ListAddition ListEntriesFor(const std::string& source, const std::string& name, const std::string& recordTime);

// True when a recording can be started from the source: an address or any
// text that names nothing on disk, or a local playlist. Local media files and
// folders are not recordable.
bool IsRecordable(std::string_view source);

// A row's own time limit: "0" or "" keep the settings as they are; otherwise
// the text is minutes, or "hours:minutes". A positive total switches the time
// limit on with that many seconds and the size limit off, and returns true.
// Numbers are read as far as they go ("90x" is 90); a text that gives no
// positive total changes nothing.
bool ApplyRecordTime(RecorderSettings& settings, std::string_view recordTime);

}  // namespace larkspan
