// The program and verify passes over the image's 1 KB blocks, each with its
// 12-cell progress bar.
#pragma once

#include <stdint.h>

struct FirmwareImage;

// Blocks per progress cell for an image of sizeKb blocks.
uint32_t CellEvery(uint32_t sizeKb);

// true when every block was programmed.
bool ProgramPass(const FirmwareImage& image, uint32_t cellEvery);

// true when every block read back whole and as programmed; otherwise prints
// the first difference or the first piece that could not be read.
bool VerifyPass(const FirmwareImage& image, uint32_t cellEvery);
