#include "runner/sample_image.h"

#include <fstream>

namespace sample {

std::vector<std::uint8_t> MakeImage(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> image(size);
  // xorshift32: cheap, deterministic, and no long runs of 0xFF that would
  // hide a missed page behind the erased state.
  std::uint32_t state = seed != 0 ? seed : 0x9E3779B9u;
  for (std::size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    image[i] = static_cast<std::uint8_t>(state >> 24);
  }
  static const char kSignature[16] = {'V', 'E', 'X', 'A', '-', 'S', 'I', 'G',
                                      'N', 'A', 'T', 'U', 'R', 'E', '0', '1'};
  for (std::size_t i = 0; i < sizeof kSignature && 0x40 + i < size; ++i) {
    image[0x40 + i] = static_cast<std::uint8_t>(kSignature[i]);
  }
  return image;
}

bool WriteImage(const std::string& path, std::size_t size, std::uint32_t seed) {
  return WriteImage(path, MakeImage(size, seed));
}

bool WriteImage(const std::string& path, const std::vector<std::uint8_t>& image) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

}  // namespace sample
