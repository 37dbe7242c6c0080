// Sample firmware images made by the project itself, for the demo, the
// tests and the benchmark: deterministic pseudo-random content with a
// recognisable signature block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sample {

std::vector<std::uint8_t> MakeImage(std::size_t size, std::uint32_t seed);

// Writes MakeImage(size, seed), or the given bytes, to path; false on an
// I/O error.
bool WriteImage(const std::string& path, std::size_t size, std::uint32_t seed);
bool WriteImage(const std::string& path, const std::vector<std::uint8_t>& image);

}  // namespace sample
