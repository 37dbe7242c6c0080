// The four memory routines the compiler calls on its own (structure copies,
// zero-initialised records, loops it recognises). There is no C library in
// the firmware build, so the application brings them. This file is built
// with -fno-builtin so that these loops are not turned back into calls to
// themselves.
#include <stddef.h>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
  return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  if (to < from) {
    for (size_t i = 0; i < count; ++i) to[i] = from[i];
  } else {
    for (size_t i = count; i > 0; --i) to[i - 1] = from[i - 1];
  }
  return destination;
}

void* memset(void* destination, int value, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  for (size_t i = 0; i < count; ++i) to[i] = static_cast<unsigned char>(value);
  return destination;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* left = static_cast<const unsigned char*>(a);
  const unsigned char* right = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
  }
  return 0;
}

}  // extern "C"
