// The byte codecs of message packing and the framed channel: zlib one-shot
// compression (Compress, Decompress), base64 (MimeEncode, MimeDecode) and
// the CRC-32 checksum (CalcCRC32).
//
// - Compress: zlib's one-shot compression at the default level. When zlib
//   fails the input comes back unchanged, so a caller that must know whether
//   the bytes were compressed uses CompressTo, which says so (and appends,
//   so a frame can be built behind its header without a copy).
// - Decompress with a known size: a buffer of exactly `size` bytes; empty on
//   any zlib error, including output longer than `size`. The caller bounds
//   `size` before calling (it is often a peer's number).
// - Decompress with an unknown size: buffers of twice the input length (at
//   least DECOMPRESS_MIN_BUFFER), doubling while zlib says the buffer is too
//   small, never above `limit`; empty when the output would exceed it.
// - MimeEncode: RFC 4648 base64, standard alphabet, '=' padding, no line
//   breaks. MimeDecode: the reverse in whole groups of four; any byte outside
//   the alphabet (line breaks and spaces included), a misplaced '=', a
//   group after a padded one, or a length that is not a multiple of four
//   gives the empty string. Nothing is read past `length`.
// - CalcCRC32: the standard CRC-32 (zlib's); 0 for an empty input.
//
// Thread-safety: every function may run on any thread.
#pragma once

#include <string>

namespace Brindle {

// The largest output the unknown-size Decompress produces by default.
inline constexpr unsigned DECOMPRESS_DEFAULT_LIMIT = 16u * 1024u * 1024u;
inline constexpr unsigned DECOMPRESS_MIN_BUFFER = 64u;

std::string Compress(const char* data, unsigned length);
// Appends the compressed bytes to `out`; false (out unchanged) when zlib
// fails.
bool CompressTo(const char* data, unsigned length, std::string& out);
std::string Decompress(const char* data, unsigned length, unsigned size);
// `length` in: the input length; out, on success: the produced length.
// The output is bounded by DECOMPRESS_DEFAULT_LIMIT, or by `limit`.
std::string Decompress(const char* data, unsigned& length);
std::string DecompressBounded(const char* data, unsigned& length, unsigned limit);

std::string MimeEncode(const char* data, unsigned length);
std::string MimeDecode(const char* data, unsigned length);

unsigned long CalcCRC32(const char* data, unsigned length);

} // namespace Brindle
