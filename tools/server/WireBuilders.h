#pragma once
// Byte builders for what the loopback server puts on the wire. Tests use them
// to script malformed answers: take a well-formed body and cut or bend it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/server/AsfMedia.h"

namespace larkspan::testserver {

// ---- MMSH (HTTP) framing ----------------------------------------------------

inline constexpr uint8_t kChunkHeader = 'H';
inline constexpr uint8_t kChunkData = 'D';
inline constexpr uint8_t kChunkEnd = 'E';
inline constexpr uint8_t kChunkChange = 'C';

// 12-byte chunk head: '$', type, 16-bit length, 32-bit location id,
// incarnation, flags, 16-bit length again. lengthField is written as given
// (normally 8 + payload length), so a test can lie about it.
std::vector<uint8_t> MmshChunkHead(uint8_t type, uint16_t lengthField, uint32_t location = 0,
                                   uint8_t incarnation = 0, uint8_t flags = 0);

// Head + payload with a truthful length (payload up to 65527 bytes).
std::vector<uint8_t> MmshChunk(uint8_t type, const uint8_t* payload, size_t length, uint32_t location = 0,
                               uint8_t incarnation = 0, uint8_t flags = 0);
inline std::vector<uint8_t> MmshChunk(uint8_t type, const std::vector<uint8_t>& payload, uint32_t location = 0,
                                      uint8_t incarnation = 0, uint8_t flags = 0) {
    return MmshChunk(type, payload.data(), payload.size(), location, incarnation, flags);
}

// The $H chunk of a header (flags 0x0C).
std::vector<uint8_t> MmshHeaderChunk(const std::vector<uint8_t>& header);
// A 12-byte $E chunk (length 8). Its 32-bit field is the end reason:
// 0 ends the stream; another value tells the client more may follow.
std::vector<uint8_t> MmshEndChunk(uint32_t reason = 0);

// Describe body: one $H chunk.
std::vector<uint8_t> MmshDescribeBody(const AsfMedia& media);
// Play body as the server would stream it unpaced and without faults:
// $H, one $D per packet (location id = packet index), $E.
std::vector<uint8_t> MmshPlayBody(const AsfMedia& media, bool trimPadding = false);

// Appends a value little-endian.
void AppendLE16(std::vector<uint8_t>& out, uint16_t v);
void AppendLE32(std::vector<uint8_t>& out, uint32_t v);
void AppendLE64(std::vector<uint8_t>& out, uint64_t v);

// ---- MMS (TCP) --------------------------------------------------------------

namespace mms {
// Client to server.
inline constexpr uint32_t kConnect = 0x00030001;
inline constexpr uint32_t kConnectFunnel = 0x00030002;
inline constexpr uint32_t kOpenFile = 0x00030005;
inline constexpr uint32_t kStartPlaying = 0x00030007;
inline constexpr uint32_t kStopPlaying = 0x00030009;
inline constexpr uint32_t kCloseFile = 0x0003000D;
inline constexpr uint32_t kReadBlock = 0x00030015;
inline constexpr uint32_t kFunnelInfo = 0x00030018;
inline constexpr uint32_t kPong = 0x0003001B;
inline constexpr uint32_t kStreamSwitch = 0x00030033;
// Server to client.
inline constexpr uint32_t kReportConnectedEX = 0x00040001;
inline constexpr uint32_t kReportConnectedFunnel = 0x00040002;
inline constexpr uint32_t kReportStartedPlaying = 0x00040005;
inline constexpr uint32_t kReportOpenFile = 0x00040006;
inline constexpr uint32_t kReportReadBlock = 0x00040011;
inline constexpr uint32_t kReportFunnelInfo = 0x00040015;
inline constexpr uint32_t kPing = 0x0004001B;
inline constexpr uint32_t kReportEndOfStream = 0x0004001E;
inline constexpr uint32_t kReportStreamSwitch = 0x00040021;

inline constexpr uint32_t kSessionId = 0xB00BFACE;
// HRESULT for "file not found", sent with a negative openFileId.
inline constexpr uint32_t kFileNotFound = 0x80070002;

// Short name of a MID ("OpenFile", "Pong", ...), or "0x...." when unknown.
std::string MidName(uint32_t mid);
}  // namespace mms

// A whole command message: 16-byte TCP header, chunkCount, sequence,
// timeSent, chunkLen, MID, body, zero padding to a multiple of 8.
std::vector<uint8_t> MmsMessage(uint32_t mid, uint32_t sequence, const std::vector<uint8_t>& body,
                                double timeSent = 0.0);

// A media packet: 32-bit location id, playIncarnation, flags, 16-bit length
// including this 8-byte prefix, payload (up to 65527 bytes).
std::vector<uint8_t> MmsMediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const uint8_t* payload,
                                    size_t length);

// UTF-16LE of an ASCII/Latin-1 string, without terminator.
std::vector<uint8_t> Utf16Le(const std::string& text);
// Decodes UTF-16LE bytes (code units above 0xFF become '?', a zero unit
// becomes '\0' and is kept, so "clip.asf\0" "18." stays visible).
std::string DecodeUtf16Le(const uint8_t* bytes, size_t length);

}  // namespace larkspan::testserver
