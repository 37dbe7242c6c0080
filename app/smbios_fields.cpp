#include "app/smbios_fields.h"

#include "platform/platform.h"
#include "platform/strings.h"

namespace {

constexpr uint8_t kSystemType = 1;
constexpr uint8_t kBaseboardType = 2;
constexpr uint8_t kEndType = 127;
constexpr size_t kHeaderBytes = 4;
// Offsets in the formatted area of types 1 and 2.
constexpr size_t kManufacturer = 4;
constexpr size_t kProduct = 5;
constexpr size_t kSerial = 7;
constexpr size_t kUuid = 8;
constexpr size_t kUuidBytes = 16;
// More than any real table; a larger one is read this far.
constexpr size_t kLargestTableRead = 1024 * 1024;

const char kUnknown[] = "unknown";

void SetText(char* out, size_t capacity, const char* text, size_t length) {
  size_t n = 0;
  for (size_t i = 0; i < length && n + 1 < capacity; ++i) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    out[n++] = c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '?';
  }
  out[n] = '\0';
}

void SetUnknown(char* out, size_t capacity) { SetText(out, capacity, kUnknown, sizeof kUnknown - 1); }

// String `number` (from 1) of the string area [from, end); false when it
// is 0 or not there.
bool FindString(const uint8_t* table, size_t from, size_t end, uint8_t number, size_t* start, size_t* length) {
  if (number == 0) return false;
  size_t at = from;
  for (uint8_t n = 1; at < end && table[at] != 0; ++n) {
    size_t stop = at;
    while (stop < end && table[stop] != 0) ++stop;
    if (n == number) {
      *start = at;
      *length = stop - at;
      return true;
    }
    at = stop + 1;
  }
  return false;
}

void TakeString(const uint8_t* table, size_t stringsFrom, size_t end, uint8_t number, char* out) {
  size_t start = 0;
  size_t length = 0;
  if (FindString(table, stringsFrom, end, number, &start, &length)) {
    while (length > 0 && table[start] == ' ') {
      ++start;
      --length;
    }
    while (length > 0 && table[start + length - 1] == ' ') --length;
  }
  if (length == 0) {
    SetUnknown(out, kSmbiosTextMax + 1);
    return;
  }
  SetText(out, kSmbiosTextMax + 1, reinterpret_cast<const char*>(table + start), length);
}

// SMBIOS 2.6 and later store the first three fields little endian.
void TakeUuid(const uint8_t* u, char* out) {
  bool allZero = true;
  bool allOnes = true;
  for (size_t i = 0; i < kUuidBytes; ++i) {
    allZero = allZero && u[i] == 0x00;
    allOnes = allOnes && u[i] == 0xFF;
  }
  if (allZero || allOnes) {
    SetUnknown(out, kUuidTextLength + 1);
    return;
  }
  const uint8_t order[kUuidBytes] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  const char digits[] = "0123456789abcdef";
  size_t n = 0;
  for (size_t i = 0; i < kUuidBytes; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out[n++] = '-';
    out[n++] = digits[u[order[i]] >> 4];
    out[n++] = digits[u[order[i]] & 0x0F];
  }
  out[n] = '\0';
}

}  // namespace

void ParseSmbiosFields(const uint8_t* table, size_t length, SmbiosFields* fields) {
  SetUnknown(fields->systemManufacturer, sizeof fields->systemManufacturer);
  SetUnknown(fields->systemProduct, sizeof fields->systemProduct);
  SetUnknown(fields->systemSerial, sizeof fields->systemSerial);
  SetUnknown(fields->systemUuid, sizeof fields->systemUuid);
  SetUnknown(fields->boardProduct, sizeof fields->boardProduct);
  SetUnknown(fields->boardSerial, sizeof fields->boardSerial);

  bool systemSeen = false;
  bool boardSeen = false;
  size_t at = 0;
  while (at + kHeaderBytes <= length) {
    const uint8_t type = table[at];
    const size_t formatted = table[at + 1];
    if (formatted < kHeaderBytes || at + formatted > length) return;
    // The string area ends with two NULs; a table without them is cut.
    size_t end = at + formatted;
    while (end + 1 < length && !(table[end] == 0 && table[end + 1] == 0)) ++end;
    if (end + 1 >= length) return;
    const size_t stringsFrom = at + formatted;
    const uint8_t* s = table + at;
    if (type == kSystemType && !systemSeen && formatted > kSerial) {
      systemSeen = true;
      TakeString(table, stringsFrom, end, s[kManufacturer], fields->systemManufacturer);
      TakeString(table, stringsFrom, end, s[kProduct], fields->systemProduct);
      TakeString(table, stringsFrom, end, s[kSerial], fields->systemSerial);
      if (formatted >= kUuid + kUuidBytes) TakeUuid(s + kUuid, fields->systemUuid);
    } else if (type == kBaseboardType && !boardSeen && formatted > kSerial) {
      boardSeen = true;
      TakeString(table, stringsFrom, end, s[kProduct], fields->boardProduct);
      TakeString(table, stringsFrom, end, s[kSerial], fields->boardSerial);
    } else if (type == kEndType) {
      return;
    }
    at = end + 2;
  }
}

void ReadSmbiosFields(SmbiosFields* fields) {
  uint8_t none = 0;
  const size_t whole = PlatformSmbiosTable(&none, 0);
  const size_t size = whole < kLargestTableRead ? whole : kLargestTableRead;
  uint8_t* table = size != 0 ? static_cast<uint8_t*>(PlatformAllocate(size)) : nullptr;
  if (table == nullptr) {
    ParseSmbiosFields(&none, 0, fields);
    return;
  }
  const size_t copied = PlatformSmbiosTable(table, size);
  ParseSmbiosFields(table, copied < size ? copied : size, fields);
  PlatformFree(table);
}
