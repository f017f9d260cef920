#pragma once
#include <string>
#include <string_view>

namespace larkspan {

// Rules the recording worker applies to the references it meets while it
// follows playlists.

// True for an address a stream server is reached at: it begins with
// "mms:", "mmst:", "mmsu:", "http:" or "https:" (any case). A playlist
// fetched from the network may name only such addresses.
bool IsNetworkAddress(std::string_view reference);

// True for an "https:" address, which only the HTTP client can record.
bool IsHttpsAddress(std::string_view reference);

// One spelling per playlist, so that a playlist named twice in different
// ways is still read once: for an address the scheme and host in lower case
// and without a "#fragment"; for a local path the absolute path with links
// and "." and ".." resolved.
std::string PlaylistKey(const std::string& reference);

// A reference as shown in a notice: one line (line breaks and other control
// characters become blanks), cut to at most 300 bytes.
std::string ReferenceForNotice(std::string_view reference);

}  // namespace larkspan
