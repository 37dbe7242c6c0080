#include "support/board_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include <unistd.h>

#include "app/settings.h"
#include "i2c/controller.h"
#include "i2c/discovery.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "pd/pd_settings.h"

namespace vexa_test {

namespace {

// Size of the register window of one controller.
constexpr std::uint64_t kControllerWindow = 0x1000;

// Longer than any transaction the tests queue takes on the wire.
constexpr std::uint64_t kBusSettleUs = 10000;

std::string TempBusTracePath() {
  static std::atomic<unsigned> counter{0};
  const auto dir = std::filesystem::temp_directory_path();
  return (dir / ("vexa-bus-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".txt"))
      .string();
}

}  // namespace

IoEvent ParseIoLine(const std::string& line) {
  IoEvent event;
  event.line = line;
  const std::size_t opEnd = std::min(line.find(' '), line.size());
  event.op = line.substr(0, opEnd);
  const char* fields = line.c_str() + opEnd;
  if (event.op == "stall") {
    event.value = std::strtoull(fields, nullptr, 10);
  } else if (event.op.rfind("mmio-", 0) == 0 || event.op.rfind("out", 0) == 0 ||
             event.op.rfind("in", 0) == 0) {
    char* next = nullptr;
    event.address = std::strtoull(fields, &next, 16);
    event.value = std::strtoull(next, nullptr, 16);
  }
  return event;
}

// ---- ScriptedDevice ----

bool ScriptedDevice::Start(std::uint8_t, bool read) {
  Transaction transaction;
  transaction.read = read;
  transaction.nacked = nackAddress;
  transactions.push_back(transaction);
  open_ = !nackAddress;
  return !nackAddress;
}

bool ScriptedDevice::Write(std::uint8_t byte) {
  const bool accept = static_cast<long>(writes_) != nackWriteIndex;
  ++writes_;
  ++bytes_;
  if (!transactions.empty()) {
    transactions.back().bytes.push_back(byte);
    if (!accept) transactions.back().nacked = true;
  }
  return accept;
}

std::uint8_t ScriptedDevice::Read() {
  ++bytes_;
  std::uint8_t byte = 0xFF;
  if (!readData.empty()) {
    byte = readData.front();
    readData.pop_front();
  }
  if (!transactions.empty()) transactions.back().bytes.push_back(byte);
  return byte;
}

void ScriptedDevice::Stop() {
  if (open_ && !transactions.empty()) transactions.back().stopped = true;
  open_ = false;
}

std::uint64_t ScriptedDevice::StretchNs() {
  const auto it = stretchNsAt.find(bytes_);
  return it == stretchNsAt.end() ? 0 : it->second;
}

// ---- BoardFixture ----

BoardFixture::BoardFixture(sim::BoardConfig config) : config_(std::move(config)) {
  if (config_.busTracePath.empty()) {
    config_.busTracePath = TempBusTracePath();
    ownBusTrace_ = true;
  }
  board_ = std::make_unique<sim::Board>(config_);

  gSettings = ToolSettings{};
  gSettings.channel = static_cast<std::uint8_t>(config_.pdChannel);
  gPdSettings = PdSettings{};
  gChipInfo = ChipInfo{};
  gI2cHost = I2cHost{};

  trace_ = open_memstream(&traceBuffer_, &traceSize_);
  session_.board = board_.get();
  session_.ioTrace = trace_;
  session_.capture = &capture_;
  HostSessionBegin(&session_);
}

BoardFixture::~BoardFixture() {
  HostSessionEnd();
  if (!finished_) board_->Finish();
  board_.reset();
  std::fclose(trace_);
  std::free(traceBuffer_);
  if (ownBusTrace_) {
    std::error_code ignored;
    std::filesystem::remove(config_.busTracePath, ignored);
  }
}

void BoardFixture::Attach(std::uint8_t address7, sim::I2cDevice* device) {
  Attach(config_.pdChannel, address7, device);
}

void BoardFixture::Attach(unsigned channel, std::uint8_t address7, sim::I2cDevice* device) {
  board_->AttachDevice(channel, address7, device);
}

bool BoardFixture::BringUpController() {
  gSettings.channel = static_cast<std::uint8_t>(config_.pdChannel);
  const bool ok = LocateI2cController(gSettings.channel, false) && I2cInit();
  if (!ok) ADD_FAILURE() << "controller bring-up failed; console:\n" << capture_;
  Mark();
  return ok;
}

std::string BoardFixture::Console() const { return capture_.substr(consoleMark_); }

void BoardFixture::Mark() {
  std::fflush(trace_);
  traceMark_ = traceSize_;
  consoleMark_ = capture_.size();
}

const std::vector<IoEvent>& BoardFixture::Trace() {
  std::fflush(trace_);
  if (parsedMark_ == traceMark_ && parsedSize_ == traceSize_) return parsed_;
  // Parse only what was added since the last call when the mark stayed.
  std::size_t start = traceMark_;
  if (parsedMark_ == traceMark_ && parsedSize_ < traceSize_) {
    start = parsedSize_;
  } else {
    parsed_.clear();
  }
  const char* text = traceBuffer_;
  while (start < traceSize_) {
    const char* lineEnd = static_cast<const char*>(std::memchr(text + start, '\n', traceSize_ - start));
    const std::size_t end = lineEnd != nullptr ? static_cast<std::size_t>(lineEnd - text) : traceSize_;
    parsed_.push_back(ParseIoLine(std::string(text + start, end - start)));
    start = end + 1;
  }
  parsedMark_ = traceMark_;
  parsedSize_ = traceSize_;
  return parsed_;
}

std::vector<IoEvent> BoardFixture::Trace(const std::string& op) {
  std::vector<IoEvent> selected;
  for (const IoEvent& event : Trace()) {
    if (event.op == op) selected.push_back(event);
  }
  return selected;
}

std::vector<IoEvent> BoardFixture::ControllerAccesses() {
  std::vector<IoEvent> selected;
  const std::uint64_t base = gI2cHost.base;
  for (const IoEvent& event : Trace()) {
    if (event.IsMmio() && event.address >= base && event.address < base + kControllerWindow) {
      selected.push_back(event);
    }
  }
  return selected;
}

std::vector<IoEvent> BoardFixture::MmioAccesses() {
  std::vector<IoEvent> selected;
  for (const IoEvent& event : Trace()) {
    if (event.IsMmio()) selected.push_back(event);
  }
  return selected;
}

std::vector<std::uint32_t> BoardFixture::RegisterWrites(std::uint32_t offset) {
  std::vector<std::uint32_t> values;
  for (const IoEvent& event : Trace("mmio-w32")) {
    if (event.address == gI2cHost.base + offset) values.push_back(static_cast<std::uint32_t>(event.value));
  }
  return values;
}

std::size_t BoardFixture::RegisterReads(std::uint32_t offset) {
  std::size_t count = 0;
  for (const IoEvent& event : Trace()) {
    if ((event.op == "mmio-r32" || event.op == "mmio-r16") && event.address == gI2cHost.base + offset) {
      ++count;
    }
  }
  return count;
}

std::vector<std::uint32_t> BoardFixture::Stalls() {
  std::vector<std::uint32_t> values;
  for (const IoEvent& event : Trace("stall")) values.push_back(static_cast<std::uint32_t>(event.value));
  return values;
}

std::vector<std::string> BoardFixture::BusTrace() {
  if (!finished_) {
    // A transfer returns once its last byte is on the wire; let the bus
    // finish it, as the time after a run would.
    board_->clock().AdvanceUs(kBusSettleUs);
    board_->Finish();
    finished_ = true;
  }
  std::vector<std::string> lines;
  std::ifstream in(config_.busTracePath);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace vexa_test
