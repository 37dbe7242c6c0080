#include "sim/spi_flash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace sim {

SpiFlash::SpiFlash(std::size_t sizeBytes) : cells_(sizeBytes, 0xFF), readFlip_(sizeBytes, 0x00) {}

bool SpiFlash::LoadFile(const std::string& path, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "flash file " + path + " is not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read flash file " + path;
    return false;
  }
  std::vector<std::uint8_t> content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read flash file " + path;
    return false;
  }
  if (content.size() > cells_.size()) {
    error = "flash file " + path + " holds " + std::to_string(content.size()) + " bytes, more than the " +
            std::to_string(cells_.size()) + " bytes of the flash";
    return false;
  }
  std::fill(cells_.begin(), cells_.end(), 0xFF);
  std::copy(content.begin(), content.end(), cells_.begin());
  return true;
}

bool SpiFlash::SaveFile(const std::string& path, std::string& error) const {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(cells_.data()), static_cast<std::streamsize>(cells_.size()));
  if (out) out.flush();
  if (!out) {
    // The streams set errno on every usual host, though nothing promises it.
    error = "cannot write flash file " + path + (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : "");
    return false;
  }
  return true;
}

void SpiFlash::Advance(std::uint64_t nowNs) {
  if (!erasing_ || nowNs < eraseEndNs_) return;
  erasing_ = false;
  std::fill(cells_.begin(), cells_.end(), 0xFF);
  DropLatch();
  ++erasesCompleted_;
}

bool SpiFlash::EraseBusy(std::uint64_t nowNs) {
  Advance(nowNs);
  return erasing_;
}

bool SpiFlash::WriteEnable(std::uint64_t nowNs) {
  if (EraseBusy(nowNs)) return false;
  writeEnabled_ = true;
  return true;
}

bool SpiFlash::WriteDisable(std::uint64_t nowNs) {
  if (EraseBusy(nowNs)) return false;
  DropLatch();
  return true;
}

bool SpiFlash::StartChipErase(std::uint64_t nowNs, std::uint64_t durationNs) {
  if (EraseBusy(nowNs) || !writeEnabled_) return false;
  erasing_ = true;
  eraseStartNs_ = nowNs;
  eraseEndNs_ = nowNs + durationNs;
  ++erasesStarted_;
  Advance(nowNs);  // a zero-length erase is done at once
  return true;
}

void SpiFlash::PowerLoss(std::uint64_t nowNs) {
  Advance(nowNs);
  if (erasing_) {
    const std::uint64_t sectors = (cells_.size() + kSectorSize - 1) / kSectorSize;
    const std::uint64_t done = sectors * (nowNs - eraseStartNs_) / (eraseEndNs_ - eraseStartNs_);
    const std::size_t end = std::min(cells_.size(), static_cast<std::size_t>(done) * kSectorSize);
    std::fill(cells_.begin(), cells_.begin() + static_cast<std::ptrdiff_t>(end), 0xFF);
    erasing_ = false;
  }
  writeEnabled_ = false;
}

bool SpiFlash::ProgramPage(std::uint64_t nowNs, std::uint32_t& address, const std::uint8_t* data, std::size_t count) {
  if (EraseBusy(nowNs) || !writeEnabled_) return false;
  const std::uint32_t page = address & ~static_cast<std::uint32_t>(kPageSize - 1);
  std::uint32_t offset = address & (kPageSize - 1);
  for (std::size_t i = 0; i < count; ++i) {
    cells_[(page + offset) % cells_.size()] &= data[i];
    offset = (offset + 1) & (kPageSize - 1);
  }
  address = page + offset;
  return true;
}

}  // namespace sim
