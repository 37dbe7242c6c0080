// Files and memory of the host build: the host's own file system and heap.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "platform/host/host_session.h"
#include "platform/platform.h"

struct PlatformFile {
  std::FILE* stream;
};

PlatformFile* PlatformFileOpen(const char* name) {
  std::FILE* stream = std::fopen(name, "rb");
  HostTrace("open \"%s\" %s", name, stream != nullptr ? "ok" : "fail");
  if (stream == nullptr) return nullptr;
  return new PlatformFile{stream};
}

int64_t PlatformFileLength(PlatformFile* file) {
  int64_t length = -1;
  if (fseeko(file->stream, 0, SEEK_END) == 0) length = ftello(file->stream);
  if (fseeko(file->stream, 0, SEEK_SET) != 0) length = -1;
  HostTrace("length %" PRId64, length);
  return length;
}

size_t PlatformFileRead(PlatformFile* file, void* buffer, size_t count) {
  const size_t got = std::fread(buffer, 1, count, file->stream);
  HostTrace("read %zu %zu", count, got);
  return got;
}

void PlatformFileClose(PlatformFile* file) {
  HostTrace("close");
  std::fclose(file->stream);
  delete file;
}

PlatformFile* PlatformFileOpenWrite(const char* name, PlatformWriteMode mode, int64_t* existingBytes) {
  const bool append = mode == PlatformWriteMode::Append;
  std::FILE* stream = std::fopen(name, append ? "ab" : "wb");
  int64_t length = 0;
  if (stream != nullptr && append) {
    // "ab" writes every byte at the end whatever the position; the position
    // is moved there only to learn what the file held.
    if (fseeko(stream, 0, SEEK_END) == 0) length = ftello(stream);
    if (length < 0) {
      std::fclose(stream);
      stream = nullptr;
    }
  }
  HostTrace("open-write \"%s\" %s %s", name, append ? "append" : "replace", stream != nullptr ? "ok" : "fail");
  if (stream == nullptr) return nullptr;
  if (existingBytes != nullptr) *existingBytes = length;
  return new PlatformFile{stream};
}

bool PlatformFileWrite(PlatformFile* file, const void* data, size_t count) {
  const size_t put = std::fwrite(data, 1, count, file->stream);
  HostTrace("write %zu %zu", count, put);
  return put == count;
}

bool PlatformFileFlush(PlatformFile* file) {
  const bool flushed = std::fflush(file->stream) == 0 && fsync(fileno(file->stream)) == 0;
  HostTrace("flush %s", flushed ? "ok" : "fail");
  return flushed;
}

void* PlatformAllocate(size_t size) {
  void* buffer = size <= CurrentHostSession().allocationLimit ? std::malloc(size == 0 ? 1 : size) : nullptr;
  HostTrace("allocate %zu %s", size, buffer != nullptr ? "ok" : "fail");
  return buffer;
}

void PlatformFree(void* buffer) {
  HostTrace("free");
  std::free(buffer);
}
