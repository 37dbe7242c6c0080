// vexa-mkimage [--sha256] FILE SIZE[K] [SEED]: writes a sample firmware
// image of SIZE bytes (a K suffix means KB) and, with --sha256, the
// FILE.sha256 beside it that VEXA checks the image against.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/sha256.h"
#include "runner/sample_image.h"

namespace {

constexpr int kUsageError = 2;

const char kHelp[] =
    "Usage: vexa-mkimage [--sha256] FILE SIZE[K] [SEED]\n"
    "\n"
    "Writes a sample firmware image of SIZE bytes (K: kilobytes) to FILE:\n"
    "pseudo-random bytes from SEED (default 1) with the signature block\n"
    "VEXA-SIGNATURE01 at 0x40..0x4F. Prints what it wrote: the size, the\n"
    "signature and the image's SHA-256.\n"
    "\n"
    "  --sha256   also write FILE.sha256 (sha256sum's format), which VEXA\n"
    "             checks the image against before it touches the board\n"
    "  --help     this text\n"
    "\n"
    "Exit code 0 when the files were written, 2 for wrong arguments or a\n"
    "file that cannot be written.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vexa-mkimage: %s\nusage: vexa-mkimage [--sha256] FILE SIZE[K] [SEED] (see --help)\n",
               problem.c_str());
  return kUsageError;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SignatureText(const std::vector<std::uint8_t>& image) {
  if (image.size() < 0x50) return "none (an image shorter than 80 bytes has no signature block)";
  std::string text = "at 0x40: \"";
  for (std::size_t i = 0x40; i < 0x50; ++i) {
    const std::uint8_t c = image[i];
    text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
  }
  return text + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  bool sidecar = false;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--sha256") {
      sidecar = true;
    } else if (arg.rfind("--", 0) == 0) {
      return Usage("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() < 2 || positional.size() > 3) return Usage("FILE and SIZE are needed");

  const std::string& path = positional[0];
  std::string sizeText = positional[1];
  std::size_t scale = 1;
  if (!sizeText.empty() && (sizeText.back() == 'K' || sizeText.back() == 'k')) {
    scale = 1024;
    sizeText.pop_back();
  }
  char* end = nullptr;
  const unsigned long long size = std::strtoull(sizeText.c_str(), &end, 10);
  if (sizeText.empty() || *end != '\0') return Usage("bad size '" + positional[1] + "'");
  const unsigned long seed = positional.size() == 3 ? std::strtoul(positional[2].c_str(), nullptr, 0) : 1;

  const std::vector<std::uint8_t> image =
      sample::MakeImage(static_cast<std::size_t>(size * scale), static_cast<std::uint32_t>(seed));
  if (!sample::WriteImage(path, image)) {
    std::fprintf(stderr, "vexa-mkimage: cannot write '%s'\n", path.c_str());
    return kUsageError;
  }
  std::uint8_t digest[kSha256Bytes];
  Sha256Of(image.data(), image.size(), digest);
  char hex[kSha256HexDigits + 1];
  Sha256Hex(digest, hex);
  std::printf("%s: %zu bytes, signature %s\nSHA-256: %s\n", path.c_str(), image.size(),
              SignatureText(image).c_str(), hex);

  if (sidecar) {
    const std::string sidecarPath = path + ".sha256";
    std::ofstream out(sidecarPath, std::ios::binary | std::ios::trunc);
    out << hex << "  " << BaseName(path) << "\n";
    if (!out.flush()) {
      std::fprintf(stderr, "vexa-mkimage: cannot write '%s'\n", sidecarPath.c_str());
      return kUsageError;
    }
    std::printf("%s: the SHA-256 for VEXA and sha256sum -c\n", sidecarPath.c_str());
  }
  return 0;
}
