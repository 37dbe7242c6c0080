#include "app/firmware_image.h"

#include "app/image_sidecar.h"
#include "app/sha256.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

// The signature block must lie inside the file.
constexpr size_t kMinImageBytes = kSignatureOffset + kSignatureLength;

// Reads exactly `size` bytes, however the platform splits the reads.
bool ReadWhole(PlatformFile* file, uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t got = PlatformFileRead(file, buffer + done, size - done);
    if (got == 0) return false;
    done += got;
  }
  return true;
}

bool IsBlank(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0xFF) return false;
  }
  return true;
}

bool Refuse(PlatformFile* file, uint8_t* buffer) {
  if (buffer != nullptr) PlatformFree(buffer);
  PlatformFileClose(file);
  return false;
}

}  // namespace

bool LoadFirmwareImage(const char* name, FirmwareImage& image) {
  // The new image replaces the earlier one whether or not it loads: the run
  // ends on a failure anyway, and memory stays at one image.
  ReleaseFirmwareImage(image);

  PlatformFile* file = PlatformFileOpen(name);
  if (file == nullptr) {
    ConsolePrint(u"\n\rFile Open Fail!\n\n");
    StdPrintf("%s cannot be opened: check its name and that it is in the current folder.\n", name);
    return false;
  }

  const int64_t length = PlatformFileLength(file);
  if (length < 0) {
    ConsolePrint(u"\n\rFile Read Fail!\n\n");
    return Refuse(file, nullptr);
  }
  if (static_cast<uint64_t>(length) < kMinImageBytes) {
    ConsolePrint(u"\n\rFile Too Small! An image has at least %d bytes.\n\n",
                 static_cast<int>(kMinImageBytes));
    return Refuse(file, nullptr);
  }
  if (static_cast<uint64_t>(length) > kMaxImageBytes) {
    ConsolePrint(u"\n\rFile Too Large! An image has at most %d KBytes.\n\n",
                 static_cast<int>(kMaxImageBytes / 1024));
    return Refuse(file, nullptr);
  }
  const size_t size = static_cast<size_t>(length);

  uint8_t* content = static_cast<uint8_t*>(PlatformAllocate(size));
  if (content == nullptr) {
    ConsolePrint(u"\n\rMemory Allocate Fail!\n\n");
    return Refuse(file, nullptr);
  }
  if (!ReadWhole(file, content, size)) {
    ConsolePrint(u"\n\rFile Read Fail!\n\n");
    return Refuse(file, content);
  }

  // The controller starts its firmware only from a signed flash: a blank
  // signature would leave it without firmware, and its read-back after
  // programming would match all the same.
  if (IsBlank(content + kSignatureOffset, kSignatureLength)) {
    ConsolePrint(u"\n\rFile Not Signed! Bytes 0x40 to 0x4F of an image must not all be FF.\n\n");
    return Refuse(file, content);
  }

  // The file's own bytes, signature included, are what identifies it.
  uint8_t digest[kSha256Bytes];
  Sha256Of(content, size, digest);

  // The signature is written last, once the rest of the image has been
  // verified; until then its block stays erased.
  MemCopy(image.signature, content + kSignatureOffset, kSignatureLength);
  MemFill(content + kSignatureOffset, 0xFF, kSignatureLength);
  PlatformFileClose(file);

  // A copy damaged on its way to the board, or the wrong file, would be
  // programmed and verified against itself: stop before the hardware.
  if (!CheckImageSidecar(name, digest)) {
    PlatformFree(content);
    return false;
  }
  MemCopy(image.sha256, digest, kSha256Bytes);

  image.fileName = name;
  image.size = size;
  image.sizeKb = FirmwareImageSizeKb(size);
  image.content = content;
  image.loaded = true;
  return true;
}

void ReleaseFirmwareImage(FirmwareImage& image) {
  if (image.content != nullptr) PlatformFree(image.content);
  image = FirmwareImage{};
}

uint32_t FirmwareImageSizeKb(size_t size) { return static_cast<uint32_t>((size + 1023) / 1024); }

bool ShowImageFitsFlash(const FirmwareImage& image, uint32_t flashKb) {
  StdPrintf("\n\rFile: %s, Size: %d KBytes\n\n", image.fileName, static_cast<int>(image.sizeKb));
  if (image.sizeKb <= flashKb) return true;
  ConsolePrint(u"Image Too Large! %d KBytes do not fit in the %d KBytes flash of this chip!!",
               static_cast<int>(image.sizeKb), static_cast<int>(flashKb));
  return false;
}
