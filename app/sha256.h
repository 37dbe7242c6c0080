// SHA-256 (FIPS 180-4), computed by the tool itself: the UEFI build has no
// library to take it from.
#pragma once

#include <stddef.h>
#include <stdint.h>

inline constexpr size_t kSha256Bytes = 32;
// Hexadecimal digits of a digest, without the terminating NUL.
inline constexpr size_t kSha256HexDigits = 2 * kSha256Bytes;

// The digest of `size` bytes at `data`, in one call.
void Sha256Of(const uint8_t* data, size_t size, uint8_t digest[kSha256Bytes]);

// The digest as lower-case hexadecimal, as sha256sum writes it, with a
// terminating NUL.
void Sha256Hex(const uint8_t digest[kSha256Bytes], char text[kSha256HexDigits + 1]);
