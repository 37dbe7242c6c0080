#include "app/board_record.h"

#include <stddef.h>

#include "app/exit_codes.h"
#include "app/firmware_image.h"
#include "app/settings.h"
#include "app/sha256.h"
#include "app/smbios_fields.h"
#include "i2c/i2c_host.h"
#include "pd/chip_info.h"
#include "pd/version.h"
#include "platform/console_text.h"
#include "platform/platform.h"
#include "platform/strings.h"

namespace {

constexpr const char* kStepNames[] = {
    "command-line", "image",  "controller", "version-before", "exit-test-mode",
    "stop-cpu",     "chip-id", "enter-test-mode", "image-size", "flash-read", "erase", "program",
    "verify",       "signature", "end-test-mode", "version-after",
};
static_assert(sizeof kStepNames / sizeof kStepNames[0] == static_cast<size_t>(RunStep::VersionAfter) + 1);

constexpr char kHeader[] =
    "date_time,tool_version,system_manufacturer,system_product,system_serial,system_uuid,"
    "board_product,board_serial,platform,i2c_channel,slave_address,chip_id,version_before,"
    "image,image_bytes,image_sha256,force,failed_step,exit_code,result,version_after,seconds\n";

// The longest line: six SMBIOS fields and the image name, each at most
// doubled by quoting, and the fixed fields.
constexpr size_t kLineCapacity = 2048;
// The image name as typed, cut to this many characters in the record.
constexpr size_t kNameMax = 200;

struct Record {
  bool open;
  PlatformFile* file;
  bool newFile;
  bool lineEndMissing;  // the file's last line has no line end (a line cut short)
  bool clockRead;
  PlatformCivilTime startTime;
  int64_t startSeconds;
  SmbiosFields smbios;
  bool imageLoaded;
  const char* imageName;
  size_t imageBytes;
  char imageSha256[kSha256HexDigits + 1];
  RunStep step;
  bool failedStepKept;
  RunStep failedStep;
  PdVersionReading versionBefore;
  PdVersionReading versionAfter;
};

Record gRecord{};

// The line as it is built; text past the capacity is dropped.
class Line {
 public:
  void Char(char c) {
    if (length_ + 1 < kLineCapacity) text_[length_++] = c;
  }
  void Text(const char* s) {
    for (; *s != '\0'; ++s) Char(*s);
  }
  void Text16(const char16_t* s) {
    for (; *s != 0; ++s) Char(*s < 0x80 ? static_cast<char>(*s) : '?');
  }
  void Decimal(int64_t value) {
    if (value < 0) {
      Char('-');
      value = -value;
    }
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) Char(digits[--n]);
  }
  void Hex(uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) Char("0123456789ABCDEF"[(value >> shift) & 0xF]);
  }
  void Digits2(uint32_t value) {
    Char(static_cast<char>('0' + value / 10 % 10));
    Char(static_cast<char>('0' + value % 10));
  }
  // A field as CSV has it: quoted, with its quotes doubled, when it holds a
  // comma, a quote, a line end or a blank at either end; control and
  // non-ASCII characters become "?" so that the line stays one line.
  void Field(const char* s, size_t max = kNameMax) {
    const size_t length = StrLength8(s);
    const size_t kept = length < max ? length : max;
    bool quote = kept > 0 && (s[0] == ' ' || s[kept - 1] == ' ');
    for (size_t i = 0; i < kept; ++i) quote = quote || s[i] == ',' || s[i] == '"';
    if (quote) Char('"');
    for (size_t i = 0; i < kept; ++i) {
      const uint8_t c = static_cast<uint8_t>(s[i]);
      if (c == '"') Char('"');
      Char(c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '?');
    }
    if (quote) Char('"');
  }
  void Comma() { Char(','); }
  void Version(const PdVersionReading& v) {
    if (v.count == 0) {
      Text("none");
      return;
    }
    for (uint8_t i = 0; i < v.count; ++i) Hex(v.bytes[i], 2);
  }
  const char* data() const { return text_; }
  size_t length() const { return length_; }

 private:
  char text_[kLineCapacity];
  size_t length_ = 0;
};

const char* PlatformWord() {
  switch (gI2cHost.kind) {
    case PlatformKind::Intel: return "intel";
    case PlatformKind::Amd: return "amd";
    case PlatformKind::Unknown: break;
  }
  return "unknown";
}

void BuildLine(Line& line, int exitCode) {
  const Record& r = gRecord;
  if (r.clockRead) {
    const PlatformCivilTime& t = r.startTime;
    line.Decimal(t.year);
    line.Char('-');
    line.Digits2(t.month);
    line.Char('-');
    line.Digits2(t.day);
    line.Char('T');
    line.Digits2(t.hour);
    line.Char(':');
    line.Digits2(t.minute);
    line.Char(':');
    line.Digits2(t.second);
  } else {
    line.Text("unknown");
  }
  line.Comma();
  line.Text16(kToolVersion);
  const char* const smbios[] = {r.smbios.systemManufacturer, r.smbios.systemProduct, r.smbios.systemSerial,
                                r.smbios.systemUuid,         r.smbios.boardProduct,  r.smbios.boardSerial};
  for (const char* field : smbios) {
    line.Comma();
    line.Field(field);
  }
  line.Comma();
  line.Text(r.step >= RunStep::Controller ? PlatformWord() : "none");
  line.Comma();
  line.Decimal(gSettings.channel);
  line.Comma();
  line.Text("0x");
  line.Hex(gChipInfo.slaveAddr, 2);
  line.Comma();
  if (gChipInfo.chipIdRead) {
    line.Hex(gChipInfo.chipId[0], 2);
    line.Hex(gChipInfo.chipId[1], 2);
  } else {
    line.Text("none");
  }
  line.Comma();
  line.Version(r.versionBefore);
  line.Comma();
  if (r.imageLoaded) {
    line.Field(r.imageName);
    line.Comma();
    line.Decimal(static_cast<int64_t>(r.imageBytes));
    line.Comma();
    line.Text(r.imageSha256);
  } else {
    line.Text("none,0,none");
  }
  line.Comma();
  line.Text(gSettings.force ? "yes" : "no");
  line.Comma();
  if (exitCode == kExitSuccess) {
    line.Text("none");
  } else {
    line.Text(kStepNames[static_cast<size_t>(r.failedStepKept ? r.failedStep : r.step)]);
  }
  line.Comma();
  line.Decimal(exitCode);
  line.Comma();
  line.Text(exitCode == kExitSuccess ? "PASS" : "FAIL");
  line.Comma();
  line.Version(r.versionAfter);
  line.Comma();
  const int64_t endSeconds = PlatformWallClockSeconds();
  if (r.startSeconds >= 0 && endSeconds >= r.startSeconds) {
    line.Decimal(endSeconds - r.startSeconds);
  } else {
    line.Text("unknown");
  }
  line.Char('\n');
}

// Whether the file's last byte is a line end; true for an empty or
// unreadable file, which then gets nothing in front of the line. Reads no
// further than the length the file has (a device may never end).
bool EndsWithLineEnd(const char* name) {
  PlatformFile* file = PlatformFileOpen(name);
  if (file == nullptr) return true;
  const int64_t length = PlatformFileLength(file);
  uint8_t chunk[512];
  uint8_t last = '\n';
  for (int64_t left = length; left > 0;) {
    const size_t want = left < static_cast<int64_t>(sizeof chunk) ? static_cast<size_t>(left) : sizeof chunk;
    const size_t got = PlatformFileRead(file, chunk, want);
    if (got == 0) break;
    last = chunk[got - 1];
    left -= static_cast<int64_t>(got);
  }
  PlatformFileClose(file);
  return last == '\n';
}

void PrintRecordTrouble(const char* what) {
  StdPrintf("\nRecord %s Fail! %s cannot be written (/log).\n", what, gSettings.logName);
}

}  // namespace

void RecordStep(RunStep step) { gRecord.step = step; }

void RecordStepFailed() {
  if (gRecord.failedStepKept) return;
  gRecord.failedStepKept = true;
  gRecord.failedStep = gRecord.step;
}

void RecordVersionBefore() { gRecord.versionBefore = gPdVersionRead; }
void RecordVersionAfter() { gRecord.versionAfter = gPdVersionRead; }

void ResetBoardRecord() {
  if (gRecord.open) PlatformFileClose(gRecord.file);
  gRecord = Record{};
}

int WithRecordFailure(int exitCode) { return exitCode == kExitSuccess ? kExitRecordFailed : exitCode; }

bool BeginBoardRecord(const FirmwareImage& image) {
  if (gSettings.logName == nullptr) return true;
  const bool lineEnd = EndsWithLineEnd(gSettings.logName);
  int64_t existing = 0;
  PlatformFile* file = PlatformFileOpenWrite(gSettings.logName, PlatformWriteMode::Append, &existing);
  if (file == nullptr) {
    PrintRecordTrouble("Open");
    StdPrintf("Nothing was done to the board. Check the stick (write protection, free space) and the "
              "/log name, then run VEXA again.\n");
    return false;
  }
  gRecord.open = true;
  gRecord.file = file;
  gRecord.newFile = existing == 0;
  gRecord.lineEndMissing = existing != 0 && !lineEnd;
  gRecord.clockRead = PlatformWallClockCivil(&gRecord.startTime);
  gRecord.startSeconds = PlatformWallClockSeconds();
  ReadSmbiosFields(&gRecord.smbios);
  gRecord.imageLoaded = image.loaded;
  if (image.loaded) {
    gRecord.imageName = image.fileName;
    gRecord.imageBytes = image.size;
    Sha256Hex(image.sha256, gRecord.imageSha256);
  }
  return true;
}

int EndBoardRecord(int exitCode) {
  if (!gRecord.open) return exitCode;
  Line line;
  BuildLine(line, exitCode);
  // A line cut short by an earlier run stays as it is; this one starts on
  // a line of its own.
  bool written = true;
  if (gRecord.lineEndMissing) written = PlatformFileWrite(gRecord.file, "\n", 1);
  if (written && gRecord.newFile) written = PlatformFileWrite(gRecord.file, kHeader, sizeof kHeader - 1);
  if (written) written = PlatformFileWrite(gRecord.file, line.data(), line.length());
  if (written) written = PlatformFileFlush(gRecord.file);
  PlatformFileClose(gRecord.file);
  gRecord.open = false;
  if (written) return exitCode;
  PrintRecordTrouble("Write");
  StdPrintf("This run's line is missing from it; the result above stands. Check the stick (write "
            "protection, free space), then run VEXA again to record the board.\n");
  return WithRecordFailure(exitCode);
}
