#pragma once
#include <cstdint>
#include <string_view>

namespace larkspan {

// What an address or path names, as a set of bits. At most one bit of each
// group (schemes 0x00F0, playlist extensions 0x0700, media extensions 0x7000)
// is set; the groups are independent of each other.
using MediaRefKind = std::uint32_t;

namespace refkind {
inline constexpr MediaRefKind LocalFile = 0x0001;   // a file or folder exists under it
inline constexpr MediaRefKind NotLocal = 0x0002;    // nothing exists under it
inline constexpr MediaRefKind AsxInAsf = 0x0004;    // a local ".asf" whose first line holds "<asx"
inline constexpr MediaRefKind SchemeHttp = 0x0010;
inline constexpr MediaRefKind SchemeMms = 0x0020;
inline constexpr MediaRefKind SchemeMmst = 0x0040;
inline constexpr MediaRefKind SchemeMmsu = 0x0080;
inline constexpr MediaRefKind ExtAsx = 0x0100;
inline constexpr MediaRefKind ExtWmx = 0x0200;
inline constexpr MediaRefKind ExtWvx = 0x0400;
inline constexpr MediaRefKind ExtAsf = 0x1000;
inline constexpr MediaRefKind ExtWma = 0x2000;
inline constexpr MediaRefKind ExtWmv = 0x4000;

inline constexpr MediaRefKind SchemeMask = 0x00F0;
inline constexpr MediaRefKind PlaylistExtMask = 0x0700;
inline constexpr MediaRefKind MediaExtMask = 0x7000;
}  // namespace refkind

// The playlist bits: a reference with any of them is read as a meta file
// instead of being recorded as a stream.
inline constexpr MediaRefKind MetaKinds =
    refkind::ExtAsx | refkind::ExtWmx | refkind::ExtWvx | refkind::AsxInAsf;

inline constexpr bool IsMetaKind(MediaRefKind kind) { return (kind & MetaKinds) != 0; }

// Classifies a typed URL, a path or a playlist entry. The test is by
// substrings of the lowercased text, not by parsing the URL. Looks at the
// file system (an existence test, and for a local ".asf" file its first
// line) and changes nothing. Never fails: what cannot be tested leaves its
// bit clear.
MediaRefKind ClassifyMediaRef(std::string_view reference);

}  // namespace larkspan
