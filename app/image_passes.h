// The program and verify passes over the image's 1 KB blocks, each with its
// 12-cell progress bar, which the flash read-out shows as well.
#pragma once

#include <stdint.h>

struct FirmwareImage;

inline constexpr uint32_t kCellsPerBar = 12;
inline constexpr char16_t kCell = 0x2588;  // FULL BLOCK

// A pass's bar: a cell after every cellEvery-th block, from block 0.
struct ProgressBar {
  uint32_t cellEvery;
  uint32_t printed;
};

// The cell, if one is due, after the work on `block`.
void AfterBlock(ProgressBar& bar, uint32_t block);

// The cells left of the 12, once the pass has done all its blocks.
void Complete(ProgressBar& bar);

// Blocks per progress cell for an image of sizeKb blocks.
uint32_t CellEvery(uint32_t sizeKb);

// true when every block was programmed.
bool ProgramPass(const FirmwareImage& image, uint32_t cellEvery);

// true when every block read back whole and as programmed; otherwise prints
// the first difference or the first piece that could not be read.
bool VerifyPass(const FirmwareImage& image, uint32_t cellEvery);
