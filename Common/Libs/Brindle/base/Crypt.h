// The setting encoder: CryptEncode and CryptDecode transform a caller's
// byte block in place, block by block (ECB: no chaining, padding, header or
// checksum), so the stored form is exactly as long as the plain form.
//
// Algorithms (the int argument):
//   CRYPT_IDEA 0  IDEA, 8-byte blocks, key bytes 0-15, 16-bit words of key
//                 and data little-endian (see IdeaCipher.h)
//   CRYPT_DES  2  DES (FIPS 46), 8-byte blocks, key bytes 0-7, parity bits
//                 ignored, weak keys accepted
//   CRYPT_XOR  3  each byte of a 16-byte block exclusive-or'ed with the key
//                 byte at the same position; encoding equals decoding
// Number 1 (32-byte blocks) has no transform and, like any other number, is
// refused.
//
// The key is a text: its bytes up to the terminating NUL are used, and a key
// shorter than the algorithm needs is completed with zero bytes (nothing past
// the NUL is read). A null key means "nothing to do": true, data unchanged.
//
// Results: false, with the data unchanged, for an unknown algorithm or a
// length above 65535; otherwise true for a null key or a length of 0
// (nothing to do); otherwise false for a length that is not a whole number
// of blocks, and true once the data is transformed.
//
// Thread-safety: every call works on its own key schedule; calls may run on
// any number of threads at once (on different data).
#pragma once

namespace Brindle {

enum CRYPT_ALGORITHM {
    CRYPT_IDEA = 0,
    CRYPT_DES = 2,
    CRYPT_XOR = 3,
};

// The longest block the encoder transforms in one call.
inline constexpr unsigned CRYPT_MAX_LENGTH = 65535;

bool CryptEncode(char* data, unsigned length, const char* key, int algorithm);
bool CryptDecode(char* data, unsigned length, const char* key, int algorithm);

} // namespace Brindle
