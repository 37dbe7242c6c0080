// Which board this is, as the firmware's SMBIOS table says: the system
// (type 1) manufacturer, product, serial number and UUID, and the
// baseboard (type 2) product and serial number, for the run's record.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Characters kept of one string; longer ones are cut.
inline constexpr size_t kSmbiosTextMax = 64;
// "00112233-4455-6677-8899-aabbccddeeff"
inline constexpr size_t kUuidTextLength = 36;

struct SmbiosFields {
  char systemManufacturer[kSmbiosTextMax + 1];
  char systemProduct[kSmbiosTextMax + 1];
  char systemSerial[kSmbiosTextMax + 1];
  char systemUuid[kUuidTextLength + 1];
  char boardProduct[kSmbiosTextMax + 1];
  char boardSerial[kSmbiosTextMax + 1];
};

// The fields of the structure table `table` (`length` bytes), each
// "unknown" when the table has no such structure or string, or the UUID is
// all zeros or all ones. Strings lose their leading and trailing blanks;
// a byte that is not printable ASCII becomes "?". A structure cut off by
// the table's end, or one whose length is impossible, ends the walk.
void ParseSmbiosFields(const uint8_t* table, size_t length, SmbiosFields* fields);

// ParseSmbiosFields of the firmware's own table (all "unknown" without one).
void ReadSmbiosFields(SmbiosFields* fields);
