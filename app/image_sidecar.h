// The image's identity: a FILE.sha256 beside the image, in the format
// sha256sum writes (64 hexadecimal digits, then optionally blanks and the
// file's name), says which image is meant.
#pragma once

#include <stdint.h>

#include "app/sha256.h"

// Checks the SHA-256 `digest` of the image `imageName` against the file
// imageName + ".sha256". Without such a file: nothing is printed and the
// result is true. On a match one line says the image was checked, true.
// A sidecar that cannot be read, is not in the format, or names another
// image: the reason is printed and the result is false (the run ends with
// exit code 1).
bool CheckImageSidecar(const char* imageName, const uint8_t digest[kSha256Bytes]);
