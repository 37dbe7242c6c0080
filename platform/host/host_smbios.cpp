// The SMBIOS structure table of the host build: the simulated board's, or,
// in a program without a board (vexa-linux), the one the running kernel
// exports from the machine's firmware (readable by root only).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/host/host_session.h"
#include "platform/platform.h"

namespace {

std::vector<uint8_t> KernelSmbiosTable() {
  std::vector<uint8_t> table;
  std::FILE* file = std::fopen("/sys/firmware/dmi/tables/DMI", "rb");
  if (file == nullptr) return table;
  uint8_t chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) table.insert(table.end(), chunk, chunk + got);
  std::fclose(file);
  return table;
}

}  // namespace

size_t PlatformSmbiosTable(void* buffer, size_t capacity) {
  const std::vector<uint8_t>* boardTable = nullptr;
  std::vector<uint8_t> kernelTable;
  if (!HostBoardSmbios(&boardTable)) {
    kernelTable = KernelSmbiosTable();
    boardTable = &kernelTable;
  }
  if (boardTable->empty()) {
    HostTrace("smbios none");
    return 0;
  }
  std::memcpy(buffer, boardTable->data(), std::min(capacity, boardTable->size()));
  HostTrace("smbios %zu", boardTable->size());
  return boardTable->size();
}
