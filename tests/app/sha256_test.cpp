// The tool's own SHA-256 against the published vectors and a host library.
#include "app/sha256.h"

#include <gtest/gtest.h>
#if defined(VEXA_HAVE_LIBCRYPTO)
#include <openssl/evp.h>
#endif

#include <string>
#include <vector>

#include "support/sim_process.h"

namespace {

std::string HexOf(const std::vector<uint8_t>& data) {
  uint8_t digest[kSha256Bytes];
  Sha256Of(data.data(), data.size(), digest);
  char hex[kSha256HexDigits + 1];
  Sha256Hex(digest, hex);
  return hex;
}

#if defined(VEXA_HAVE_LIBCRYPTO)
std::string LibraryHexOf(const std::vector<uint8_t>& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr), 1);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 0x0F];
  }
  return hex;
}
#endif

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(Sha256, PublishedVectorsAndTheHostLibraryAgree) {
  const struct {
    std::vector<uint8_t> message;
    const char* digest;
  } published[] = {
      {Bytes(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {Bytes("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::vector<uint8_t>(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& v : published) EXPECT_EQ(HexOf(v.message), v.digest) << v.message.size() << " bytes";

#if defined(VEXA_HAVE_LIBCRYPTO)
  // Around the padding's block boundaries (55 bytes still take the length
  // in their block, 56 do not), a whole block, and image sizes.
  for (const size_t size : {0u, 55u, 56u, 63u, 64u, 1024u, 256u * 1024u}) {
    const std::vector<uint8_t> data = vexa_test::MakeImage(size, static_cast<uint32_t>(size) + 1);
    EXPECT_EQ(HexOf(data), LibraryHexOf(data)) << size << " bytes";
  }
#else
  GTEST_SKIP() << "libcrypto (libssl-dev) not found: the comparison with it is left out";
#endif
}

}  // namespace
