// The firmware image of a run, read whole from a .bin file. The run owns it
// and hands it down to the passes that program and verify it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "app/sha256.h"

inline constexpr uint32_t kSignatureOffset = 0x40;
inline constexpr uint32_t kSignatureLength = 16;

// Largest image the 16-bit block and page numbers can address.
inline constexpr size_t kMaxImageBytes = 16384u * 1024u;

struct FirmwareImage {
  bool loaded;
  const char* fileName;  // the argument as typed
  size_t size;           // bytes
  uint8_t* content;      // size bytes; offsets 0x40..0x4F hold 0xFF
  uint8_t signature[kSignatureLength];
  uint8_t sha256[kSha256Bytes];  // of the file as read, signature included
  uint32_t sizeKb;       // size / 1024 rounded up
};

// Loads `name` into `image`, replacing (and releasing) an earlier image.
// Returns true, or prints why the file cannot be used and returns false:
// the run then ends with exit code 1.
bool LoadFirmwareImage(const char* name, FirmwareImage& image);

// Releases the image buffer, if any, and leaves `image` empty.
void ReleaseFirmwareImage(FirmwareImage& image);

// Prints the image's name and size line, then whether it fits a flash of
// `flashKb` KB; false (refusal printed, no line end after it) when it does
// not. Writing past the end of the flash would wrap onto its start, so the
// update and the check against it both refuse such an image.
bool ShowImageFitsFlash(const FirmwareImage& image, uint32_t flashKb);

// Whole kilobytes of an image of `size` bytes, a partial one counting as one.
uint32_t FirmwareImageSizeKb(size_t size);
