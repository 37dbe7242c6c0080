#include "sim/board.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "sim/amd_aoac.h"
#include "sim/amd_pins.h"
#include "sim/bus_trace.h"
#include "sim/dw_i2c_controller.h"
#include "sim/i2c_bus.h"
#include "sim/pci_config.h"

namespace sim {

namespace {

constexpr std::size_t kChannels = 8;
constexpr std::uint64_t kControllerWindow = 0x1000;

// The I2C controllers of AMD's FCH sit at fixed addresses; the seventh slot
// of the 0xFEDCx000 row belongs to another block.
constexpr std::array<std::uint64_t, 6> kAmdI2cBases = {0xFEDC2000, 0xFEDC3000, 0xFEDC4000,
                                                       0xFEDC5000, 0xFEDC6000, 0xFEDCB000};

// The power-management capability of the LPSS I2C functions, where their
// PMCSR lies, and the time a function needs after D3hot -> D0.
constexpr unsigned kPmCapability = 0x80;
constexpr unsigned kPmcsr = kPmCapability + 4;
constexpr std::uint64_t kD3hotRecoveryNs = 10'000'000;

struct MmioRegion {
  std::uint64_t base;
  std::uint64_t size;
  DwI2cController* controller = nullptr;  // else one of the byte blocks
  AmdIomux* iomux = nullptr;
  AmdAoac* aoac = nullptr;
  // What decides whether a controller's window answers: on Intel its PCI
  // function 0:21.channel, on AMD its AOAC power.
  enum class Gate : std::uint8_t { None, PciFunction, Aoac } gate = Gate::None;
  unsigned channel = 0;  // the controller's, when there is one
};

// An LPSS I2C function as its configuration header shows it: command
// register, capability list with power management (No_Soft_Reset: leaving
// D3hot keeps the configuration) and a vendor-specific capability after it.
void PutLpssFunction(PciConfigSpace& pci, unsigned function, std::uint16_t deviceId,
                     std::uint64_t bar, const BoardConfig& config) {
  PciConfigSpace::Header& header = pci.AddFunction(0, 21, function);
  PutConfigIdentity(header, 0x8086, deviceId, 0x0C8000, 0x01, function == 0 ? 0x80 : 0x00);
  if (config.decodeOff) PutConfig16(header, 0x04, 0x0004);  // bus master only
  PutConfig16(header, 0x06, 0x0010);                          // capability list
  PutConfig32(header, 0x10, static_cast<std::uint32_t>(bar));
  PutConfig32(header, 0x14, static_cast<std::uint32_t>(bar >> 32));
  header[0x34] = kPmCapability;
  header[0x3D] = 1;  // INTA#
  PutConfig32(header, kPmCapability, 0x0003'9001);  // version 3, next at 0x90
  // No_Soft_Reset (unless the board says otherwise); in D3hot a wake event
  // is pending (PME_Status).
  const std::uint16_t noSoftReset = config.noSoftReset ? 0x0000 : 0x0008;
  PutConfig16(header, kPmcsr, static_cast<std::uint16_t>(noSoftReset | (config.d3hot ? 0x8003 : 0)));
  PutConfig32(header, 0x90, 0x0014'0009);  // vendor-specific, 0x14 bytes, last
  PciConfigSpace::Header& writable = pci.Writable(0, 21, function);
  PutConfig16(writable, 0x04, 0x0407);  // I/O, memory, bus master, INTx disable
  PutConfig32(writable, 0x10, 0xFFFFF000);  // a 4 KB window, 64-bit
  PutConfig32(writable, 0x14, 0xFFFFFFFF);
  PutConfig16(writable, kPmcsr, 0x1F03);  // power state, PME_En, Data_Select
  PciConfigSpace::Header& clear = pci.WriteOneToClear(0, 21, function);
  PutConfig16(clear, 0x06, 0xF900);  // the status register's error bits
  PutConfig16(clear, kPmcsr, 0x8000);  // PME_Status
}

}  // namespace

// Channels 0 to 2 just below 4 GB, channel 3 above it, as firmware that
// places 64-bit BARs high would leave them; 0x4 = 64-bit, non-prefetchable
// memory. Functions 4 to 7 are not there.
std::array<std::optional<std::uint64_t>, 8> BoardConfig::DefaultIntelBars() {
  return {0x00000000FE028004ull, 0x00000000FE029004ull, 0x00000000FE02A004ull,
          0x0000004017002004ull, std::nullopt,          std::nullopt,
          std::nullopt,          std::nullopt};
}

class BoardImpl {
 public:
  explicit BoardImpl(const BoardConfig& config);

  void Access() {
    clock.AdvanceNs(Board::kAccessCostNs);
    CatchUpAll();
  }

  void CatchUpAll() {
    for (DwI2cController* controller : reached) controller->CatchUp();
  }

  std::uint64_t NextEventNs() const {
    std::uint64_t next = DwI2cController::kNever;
    for (const DwI2cController* controller : reached) next = std::min(next, controller->NextEventNs());
    return next;
  }

  // The region that answers at `address`; nullptr when nothing does.
  const MmioRegion* Find(std::uint64_t address) {
    const MmioRegion* region = lastRegion;
    if (region == nullptr || address - region->base >= region->size) {
      region = nullptr;
      for (const MmioRegion& candidate : regions) {
        if (address - candidate.base < candidate.size) {
          region = &candidate;
          break;
        }
      }
      if (region == nullptr) return nullptr;
      lastRegion = region;
    }
    if (!Answers(*region)) return nullptr;
    if (region->controller != nullptr) Reach(region->channel);
    return region;
  }

  // A function without memory decoding, not in D0, or in the 10 ms after
  // it left D3hot, and an unpowered AMD controller, claim no access.
  bool Answers(const MmioRegion& region) {
    if (region.gate == MmioRegion::Gate::PciFunction) {
      const PciConfigSpace::Header& header = *pci.Function(0, 21, region.channel);
      return (header[0x04] & 0x02) != 0 && (header[kPmcsr] & 0x03) == 0 &&
             clock.NowNs() >= d0ReadyNs[region.channel] && Bar0(header) == region.base;
    }
    if (region.gate == MmioRegion::Gate::None) return true;
    const bool powered = aoac->Powered(AmdAoac::kFirstI2cDevice + region.channel);
    bool& seen = poweredSeen[region.channel];
    if (powered && !seen) region.controller->PowerOnReset();
    seen = powered;
    return powered;
  }

  std::uint8_t ByteRead(const MmioRegion& region, std::uint32_t offset) const {
    return region.iomux != nullptr ? region.iomux->Read8(offset) : region.aoac->Read8(offset);
  }

  void ByteWrite(const MmioRegion& region, std::uint32_t offset, std::uint8_t value) {
    if (region.iomux != nullptr) {
      region.iomux->Write8(offset, value);
    } else {
      region.aoac->Write8(offset, value);
    }
  }

  // Where BAR0 (with BAR1 as its upper half) puts the controller's window.
  static std::uint64_t Bar0(const PciConfigSpace::Header& header) {
    std::uint64_t bar = 0;
    for (unsigned i = 0; i < 8; ++i) bar |= static_cast<std::uint64_t>(header[0x10 + i]) << (8 * i);
    return bar & ~(kControllerWindow - 1);
  }

  // A write through 0xCFC; a function of device 21 that leaves D3hot
  // answers again only after its recovery time, and one without
  // No_Soft_Reset comes back with its BARs and command register cleared.
  void ConfigWrite(std::uint32_t value) {
    const std::uint32_t address = pci.address();
    const unsigned function = (address >> 8) & 7;
    const bool lpss = (address & 0x80FFF800u) == PciConfigSpace::Address(0, 21, 0, 0);
    PciConfigSpace::Header* header = lpss ? pci.Function(0, 21, function) : nullptr;
    const unsigned before = header != nullptr ? (*header)[kPmcsr] & 0x03 : 0;
    pci.WriteData32(value);
    if (header != nullptr && before != 0 && ((*header)[kPmcsr] & 0x03) == 0) {
      d0ReadyNs[function] = clock.NowNs() + kD3hotRecoveryNs;
      if (((*header)[kPmcsr] & 0x08) == 0) {
        PutConfig32(*header, 0x10, 0x4);  // 64-bit memory, no address
        PutConfig32(*header, 0x14, 0);
        PutConfig16(*header, 0x04, 0);
      }
    }
  }

  // A controller only moves after the host has written its registers, so
  // one the host never reached has no events. The board steps controllers
  // on every access and in every wait: only the reached ones, in channel
  // order.
  void Reach(unsigned channel) {
    if (reachedChannel[channel]) return;
    reachedChannel[channel] = true;
    reached.clear();
    for (unsigned c = 0; c < kChannels; ++c) {
      if (reachedChannel[c]) reached.push_back(controllers[c].get());
    }
  }

  void Unmapped(std::uint64_t address, unsigned width, bool write, std::uint32_t value) {
    ++record.unmappedMmio;
    if (record.unmapped.size() < BoardRecord::kKept) {
      record.unmapped.push_back({address, width, write, write ? value : 0});
    }
  }

  void StrayPort() { ++record.strayPorts; }

  BoardConfig config;
  Clock clock;
  // Before the buses: the bus still talks to it while the board finishes.
  std::unique_ptr<PdController> pd;
  PciConfigSpace pci;
  std::unique_ptr<BusTrace> trace;
  std::unique_ptr<AmdIomux> iomux;
  std::unique_ptr<AmdAoac> aoac;
  std::array<std::uint64_t, kChannels> d0ReadyNs{};
  std::array<bool, kChannels> poweredSeen{};
  std::array<I2cBus, kChannels> buses;
  std::array<std::unique_ptr<DwI2cController>, kChannels> controllers;
  std::array<bool, kChannels> reachedChannel{};
  std::vector<DwI2cController*> reached;
  std::vector<MmioRegion> regions;
  const MmioRegion* lastRegion = nullptr;
  std::vector<std::unique_ptr<I2cDevice>> ownedDevices;
  std::vector<std::function<void()>> finishActions;
  BoardRecord record;
  std::vector<std::uint8_t> smbiosTable;
  bool finished = false;
  std::string finishError;

 private:
  void BuildIntel();
  void BuildAmd();
  DwI2cController& AddController(unsigned channel, const DwI2cParams& params);
};

BoardImpl::BoardImpl(const BoardConfig& boardConfig)
    : config(boardConfig), smbiosTable(SmbiosStructures(boardConfig.smbios)) {
  if (!config.busTracePath.empty()) trace = std::make_unique<BusTrace>(config.busTracePath);
  switch (config.platform) {
    case PlatformType::Intel:
      BuildIntel();
      break;
    case PlatformType::Amd:
      BuildAmd();
      break;
    case PlatformType::Unknown:
      break;  // nothing answers at 0:0.0
  }
  // The PD controller hangs on the bus of one of the platform's own I2C
  // controllers; a board without a host bridge has none to choose from.
  std::size_t channels = kChannels;
  std::string board = "the board";
  if (config.platform == PlatformType::Intel) {
    channels = FindLpssGeneration(config.lpss)->functions;  // BuildIntel has found it
    board = "the Intel board (" + config.lpss + ")";
  } else if (config.platform == PlatformType::Amd) {
    channels = kAmdI2cBases.size();
    board = "the AMD board";
  }
  if (config.pdChannel >= channels) {
    throw std::runtime_error("--pd-channel " + std::to_string(config.pdChannel) + ": " + board +
                             " has I2C controllers 0 to " + std::to_string(channels - 1));
  }
  if (config.pd.has_value()) {
    pd = std::make_unique<PdController>(*config.pd, clock);
    for (const std::uint8_t address7 : pd->BusAddresses7()) buses[config.pdChannel].Attach(address7, pd.get());
  }
}

DwI2cController& BoardImpl::AddController(unsigned channel, const DwI2cParams& params) {
  auto controller = std::make_unique<DwI2cController>(params, clock, buses[channel], trace.get());
  controller->faults() = config.controllerFaults;
  controller->faults().dead = controller->faults().dead || config.controllerDead;
  controllers[channel] = std::move(controller);
  return *controllers[channel];
}

void BoardImpl::BuildIntel() {
  const LpssGeneration* generation = FindLpssGeneration(config.lpss);
  if (generation == nullptr) {
    throw std::runtime_error("--lpss " + config.lpss + ": no such generation (see --help)");
  }
  PutConfigIdentity(pci.AddFunction(0, 0, 0), 0x8086, 0x4641, 0x060000, 0x02, 0x00);
  PutConfigIdentity(pci.AddFunction(0, 31, 0), 0x8086, 0x5182, 0x060100, 0x01, 0x80);
  for (unsigned function = 0; function < generation->functions; ++function) {
    const std::optional<std::uint64_t>& bar = config.intelBar0[function];
    if (!bar.has_value()) continue;
    const auto deviceId = static_cast<std::uint16_t>(generation->firstDeviceId + function);
    PutLpssFunction(pci, function, deviceId, *bar, config);
    DwI2cController& controller = AddController(function, IntelLpssI2cParams(generation->clockHz));
    // The window is 4 KB, so bits 11..0 of the BAR do not take part in decoding.
    const std::uint64_t base = *bar & ~(kControllerWindow - 1);
    if (base != 0) {
      regions.push_back({base, kControllerWindow, &controller, nullptr, nullptr,
                         MmioRegion::Gate::PciFunction, function});
    }
  }
}

void BoardImpl::BuildAmd() {
  PutConfigIdentity(pci.AddFunction(0, 0, 0), 0x1022, 0x1480, 0x060000, 0x00, 0x00);
  PutConfigIdentity(pci.AddFunction(0, 20, 0), 0x1022, 0x790B, 0x0C0500, 0x71, 0x80);
  PutConfigIdentity(pci.AddFunction(0, 20, 3), 0x1022, 0x790E, 0x060100, 0x51, 0x00);
  PutConfigIdentity(pci.AddFunction(0x40, 0, 0), 0x1022, 0x1480, 0x060000, 0x00, 0x00);
  iomux = std::make_unique<AmdIomux>();
  regions.push_back({AmdIomux::kBase, AmdIomux::kSize, nullptr, iomux.get()});
  aoac = std::make_unique<AmdAoac>(clock, !config.aoacOff && !config.aoacStuck, config.aoacStuck);
  regions.push_back({AmdAoac::kBase, AmdAoac::kSize, nullptr, nullptr, aoac.get()});
  AmdIomux* pads = iomux.get();
  for (unsigned channel = 0; channel < kAmdI2cBases.size(); ++channel) {
    buses[channel].SetRoutedCheck([pads, channel] { return pads->I2cRouted(channel); });
    DwI2cController& controller = AddController(channel, AmdI2cParams());
    regions.push_back({kAmdI2cBases[channel], kControllerWindow, &controller, nullptr, nullptr,
                       MmioRegion::Gate::Aoac, channel});
    poweredSeen[channel] = aoac->Powered(AmdAoac::kFirstI2cDevice + channel);
  }
}

Board::Board(const BoardConfig& config) : impl_(std::make_unique<BoardImpl>(config)) {}

Board::~Board() = default;

Clock& Board::clock() { return impl_->clock; }

void Board::PortWrite32(std::uint16_t port, std::uint32_t value) {
  impl_->Access();
  if (port == PciConfigSpace::kAddressPort) {
    impl_->pci.WriteAddress(value);
  } else if (port == PciConfigSpace::kDataPort) {
    impl_->ConfigWrite(value);
  } else {
    impl_->StrayPort();
  }
}

std::uint16_t Board::PortRead16(std::uint16_t port) {
  impl_->Access();
  // Only 32-bit accesses reach the address latch; the data port answers at
  // every width.
  if (port >= PciConfigSpace::kDataPort && port < PciConfigSpace::kDataPort + 4) {
    return impl_->pci.ReadData16(port - PciConfigSpace::kDataPort);
  }
  impl_->StrayPort();
  return 0xFFFF;
}

std::uint32_t Board::PortRead32(std::uint16_t port) {
  impl_->Access();
  if (port == PciConfigSpace::kAddressPort) return impl_->pci.address();
  if (port == PciConfigSpace::kDataPort) return impl_->pci.ReadData32();
  impl_->StrayPort();
  return 0xFFFFFFFFu;
}

std::uint32_t Board::MmioRead32(std::uint64_t address) {
  impl_->Access();
  const MmioRegion* region = impl_->Find(address);
  if (region == nullptr) {
    impl_->Unmapped(address, 4, false, 0);
    return 0xFFFFFFFFu;
  }
  const auto offset = static_cast<std::uint32_t>(address - region->base);
  if (region->controller != nullptr) return region->controller->Read32(offset & ~3u);
  std::uint32_t value = 0;
  for (unsigned i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(impl_->ByteRead(*region, offset + i)) << (8 * i);
  }
  return value;
}

void Board::MmioWrite32(std::uint64_t address, std::uint32_t value) {
  impl_->Access();
  const MmioRegion* region = impl_->Find(address);
  if (region == nullptr) {
    impl_->Unmapped(address, 4, true, value);
    return;
  }
  const auto offset = static_cast<std::uint32_t>(address - region->base);
  if (region->controller != nullptr) {
    if ((offset & 3) == 0) {
      region->controller->Write32(offset, value);
    } else {
      region->controller->NarrowWrite(offset, value);
    }
    return;
  }
  for (unsigned i = 0; i < 4; ++i) {
    impl_->ByteWrite(*region, offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

std::uint16_t Board::MmioRead16(std::uint64_t address) {
  impl_->Access();
  const MmioRegion* region = impl_->Find(address);
  if (region == nullptr) {
    impl_->Unmapped(address, 2, false, 0);
    return 0xFFFF;
  }
  const auto offset = static_cast<std::uint32_t>(address - region->base);
  if (region->controller != nullptr) return static_cast<std::uint16_t>(region->controller->NarrowRead(offset, 2));
  return static_cast<std::uint16_t>(impl_->ByteRead(*region, offset) |
                                    impl_->ByteRead(*region, offset + 1) << 8);
}

std::uint8_t Board::MmioRead8(std::uint64_t address) {
  impl_->Access();
  const MmioRegion* region = impl_->Find(address);
  if (region == nullptr) {
    impl_->Unmapped(address, 1, false, 0);
    return 0xFF;
  }
  const auto offset = static_cast<std::uint32_t>(address - region->base);
  if (region->controller != nullptr) return static_cast<std::uint8_t>(region->controller->NarrowRead(offset, 1));
  return impl_->ByteRead(*region, offset);
}

void Board::MmioWrite8(std::uint64_t address, std::uint8_t value) {
  impl_->Access();
  const MmioRegion* region = impl_->Find(address);
  if (region == nullptr) {
    impl_->Unmapped(address, 1, true, value);
    return;
  }
  const auto offset = static_cast<std::uint32_t>(address - region->base);
  if (region->controller != nullptr) {
    region->controller->NarrowWrite(offset, value);
  } else {
    impl_->ByteWrite(*region, offset, value);
  }
}

void Board::Wait(std::uint64_t ns) {
  Clock& clock = impl_->clock;
  const std::uint64_t until = clock.NowNs() + ns;
  for (std::uint64_t next = impl_->NextEventNs(); next <= until; next = impl_->NextEventNs()) {
    if (next > clock.NowNs()) clock.AdvanceNs(next - clock.NowNs());
    impl_->CatchUpAll();
  }
  clock.AdvanceNs(until - clock.NowNs());
  impl_->CatchUpAll();
}

const std::vector<std::uint8_t>& Board::SmbiosTable() const { return impl_->smbiosTable; }

std::optional<std::int64_t> Board::RtcSeconds() const {
  if (impl_->config.clockFail) return std::nullopt;
  return kRtcEpochSeconds + static_cast<std::int64_t>(impl_->clock.NowNs() / 1'000'000'000ull);
}

void Board::AttachDevice(unsigned channel, std::uint8_t address7, I2cDevice* device) {
  if (channel < kChannels) impl_->buses[channel].Attach(address7, device);
}

DwI2cController* Board::Controller(unsigned channel) {
  return channel < kChannels ? impl_->controllers[channel].get() : nullptr;
}

I2cDevice* Board::AdoptDevice(std::unique_ptr<I2cDevice> device) {
  impl_->ownedDevices.push_back(std::move(device));
  return impl_->ownedDevices.back().get();
}

void Board::AtFinish(std::function<void()> action) {
  impl_->finishActions.push_back(std::move(action));
}

bool Board::Finish() {
  if (impl_->finished) return impl_->finishError.empty();
  impl_->finished = true;
  for (auto& controller : impl_->controllers) {
    if (controller) controller->Finish();
  }
  if (impl_->trace) impl_->trace->Close();
  for (auto& action : impl_->finishActions) action();
  std::string error;
  if (impl_->pd && !impl_->pd->Finish(error)) impl_->finishError = error;
  return impl_->finishError.empty();
}

const std::string& Board::FinishError() const { return impl_->finishError; }

PdController* Board::Pd() { return impl_->pd.get(); }

void Board::EndTransientFaults() {
  impl_->config.clockFail = false;
  impl_->config.controllerDead = false;
  for (const auto& controller : impl_->controllers) {
    if (controller == nullptr) continue;
    DwI2cFaults& faults = controller->faults();
    faults = DwI2cFaults{.notDw = faults.notDw, .lpssUart = faults.lpssUart};
  }
  if (impl_->pd != nullptr) impl_->pd->EndTransientFaults();
}

const BoardRecord& Board::record() const { return impl_->record; }

const PciConfigSpace& Board::Pci() const { return impl_->pci; }

AmdIomux* Board::Iomux() { return impl_->iomux.get(); }

}  // namespace sim
