// The program and verify passes over the image's 1 KB blocks, each with its
// 12-cell progress bar.
#pragma once

#include <stdint.h>

// Blocks per progress cell for an image of sizeKb blocks.
uint32_t CellEvery(uint32_t sizeKb);

// true when every block was programmed.
bool ProgramPass(uint32_t cellEvery);

// true when every block read back whole and as programmed; otherwise prints
// the first difference or the first piece that could not be read.
bool VerifyPass(uint32_t cellEvery);
