#include "app/image_sidecar.h"

#include <stddef.h>

#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

constexpr char kSuffix[] = ".sha256";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlankOrLineEnd(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The sidecar's opening bytes: 64 digits, then the end of the file or a
// blank or line end before the name and whatever follows.
bool ParseDigest(const char* text, size_t length, uint8_t digest[kSha256Bytes]) {
  if (length < kSha256HexDigits) return false;
  if (length > kSha256HexDigits && !IsBlankOrLineEnd(text[kSha256HexDigits])) return false;
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    const int high = HexDigitValue(text[2 * i]);
    const int low = HexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

// Reads at most `capacity` bytes from the start of the file; -1 when the
// file cannot be read.
int64_t ReadOpening(PlatformFile* file, char* buffer, size_t capacity) {
  const int64_t length = PlatformFileLength(file);
  if (length < 0) return -1;
  const size_t wanted = static_cast<uint64_t>(length) < capacity ? static_cast<size_t>(length) : capacity;
  size_t done = 0;
  while (done < wanted) {
    const size_t got = PlatformFileRead(file, buffer + done, wanted - done);
    if (got == 0) return -1;
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool SameDigest(const uint8_t* a, const uint8_t* b) {
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool Check(const char* imageName, const char* sidecarName, const uint8_t digest[kSha256Bytes]) {
  PlatformFile* file = PlatformFileOpen(sidecarName);
  // No sidecar: the image is taken as it always was.
  if (file == nullptr) return true;

  char text[kSha256HexDigits + 1];
  const int64_t length = ReadOpening(file, text, sizeof text);
  PlatformFileClose(file);
  if (length < 0) {
    StdPrintf("\nImage SHA-256 File Read Fail!! %s cannot be read.\n\n", sidecarName);
    return false;
  }
  uint8_t expected[kSha256Bytes];
  if (!ParseDigest(text, static_cast<size_t>(length), expected)) {
    StdPrintf("\nImage SHA-256 File Invalid!! %s must begin with 64 hex digits, as sha256sum writes.\n\n",
              sidecarName);
    return false;
  }

  char actualHex[kSha256HexDigits + 1];
  Sha256Hex(digest, actualHex);
  if (!SameDigest(digest, expected)) {
    char expectedHex[kSha256HexDigits + 1];
    Sha256Hex(expected, expectedHex);
    StdPrintf("\nImage SHA-256 Mismatch!! %s is not the image %s names.\n", imageName, sidecarName);
    StdPrintf("Image:    %s\nExpected: %s\n\n", actualHex, expectedHex);
    return false;
  }
  StdPrintf("\nImage SHA-256 checked: %s\n", actualHex);
  return true;
}

}  // namespace

bool CheckImageSidecar(const char* imageName, const uint8_t digest[kSha256Bytes]) {
  const size_t nameLength = StrLength8(imageName);
  char* sidecarName = static_cast<char*>(PlatformAllocate(nameLength + sizeof kSuffix));
  if (sidecarName == nullptr) {
    ConsolePrint(u"\n\rMemory Allocate Fail!\n\n");
    return false;
  }
  MemCopy(sidecarName, imageName, nameLength);
  MemCopy(sidecarName + nameLength, kSuffix, sizeof kSuffix);
  const bool result = Check(imageName, sidecarName, digest);
  PlatformFree(sidecarName);
  return result;
}
