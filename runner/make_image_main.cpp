// vexa-mkimage FILE SIZE [SEED]: writes a sample firmware image of SIZE
// bytes (a K suffix means KB).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runner/sample_image.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: vexa-mkimage FILE SIZE[K] [SEED]\n");
    return 2;
  }
  std::string sizeText = argv[2];
  std::size_t scale = 1;
  if (!sizeText.empty() && (sizeText.back() == 'K' || sizeText.back() == 'k')) {
    scale = 1024;
    sizeText.pop_back();
  }
  char* end = nullptr;
  const unsigned long long size = std::strtoull(sizeText.c_str(), &end, 10);
  if (sizeText.empty() || *end != '\0') {
    std::fprintf(stderr, "vexa-mkimage: bad size '%s'\n", argv[2]);
    return 2;
  }
  const unsigned long seed = argc == 4 ? std::strtoul(argv[3], nullptr, 0) : 1;
  if (!sample::WriteImage(argv[1], static_cast<std::size_t>(size * scale), static_cast<std::uint32_t>(seed))) {
    std::fprintf(stderr, "vexa-mkimage: cannot write '%s'\n", argv[1]);
    return 2;
  }
  return 0;
}
