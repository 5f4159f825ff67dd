#include "platform/crypto/Crypto.hpp"

#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace ostrel::platform::crypto {
namespace {

const EVP_MD* digestFor(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::md5:
      return EVP_md5();
    case DigestAlgorithm::sha1:
      return EVP_sha1();
    case DigestAlgorithm::sha224:
      return EVP_sha224();
    case DigestAlgorithm::sha256:
      return EVP_sha256();
    case DigestAlgorithm::sha384:
      return EVP_sha384();
    case DigestAlgorithm::sha512:
      return EVP_sha512();
  }
  return EVP_sha256();
}

std::string opensslError() {
  unsigned long code = ERR_get_error();
  if (code == 0) return "unknown OpenSSL error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

// Algorithms fetched once per process: the implicit fetch inside every cipher initialisation
// is what made a cipher call costly. Fetched algorithms are immutable and safe to share.
const EVP_CIPHER* fetched(const char* name) {
  struct Table {
    struct Entry {
      const char* name;
      EVP_CIPHER* cipher;
    };
    std::vector<Entry> entries;
    Table() {
      for (const char* n : {"AES-128-CBC", "AES-128-ECB", "AES-192-CBC", "AES-192-ECB",
                            "AES-256-CBC", "AES-256-ECB", "DES-EDE3-CBC", "DES-EDE3-ECB"}) {
        entries.push_back({n, EVP_CIPHER_fetch(nullptr, n, nullptr)});
      }
    }
    // Contexts made from a fetched cipher hold their own reference to it.
    ~Table() {
      for (auto& e : entries) EVP_CIPHER_free(e.cipher);
    }
  };
  static const Table table;
  for (const auto& e : table.entries) {
    if (std::string_view(e.name) == name) return e.cipher;
  }
  return nullptr;
}

// The cipher for an algorithm, mode and key size, with the key as OpenSSL wants it (single
// DES and two-key triple DES become three-key triple DES: K K K and K1 K2 K1).
const EVP_CIPHER* cipherFor(CipherAlgorithm algorithm, bool cbc, ByteView key, Bytes& keyBytes) {
  keyBytes.assign(key.begin(), key.end());
  switch (algorithm) {
    case CipherAlgorithm::aes:
      if (key.size() == 16) return fetched(cbc ? "AES-128-CBC" : "AES-128-ECB");
      if (key.size() == 24) return fetched(cbc ? "AES-192-CBC" : "AES-192-ECB");
      if (key.size() == 32) return fetched(cbc ? "AES-256-CBC" : "AES-256-ECB");
      return nullptr;
    case CipherAlgorithm::des:
      // Single DES lives in OpenSSL's legacy provider; triple DES with K K K is the same cipher.
      if (key.size() != 8) return nullptr;
      keyBytes.insert(keyBytes.end(), key.begin(), key.end());
      keyBytes.insert(keyBytes.end(), key.begin(), key.end());
      return fetched(cbc ? "DES-EDE3-CBC" : "DES-EDE3-ECB");
    case CipherAlgorithm::tripleDES:
      if (key.size() == 16) {
        keyBytes.insert(keyBytes.end(), key.begin(), key.begin() + 8);
      } else if (key.size() != 24) {
        return nullptr;
      }
      return fetched(cbc ? "DES-EDE3-CBC" : "DES-EDE3-ECB");
  }
  return nullptr;
}

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::mutex& randomMutex() {
  static std::mutex m;
  return m;
}

std::function<Bytes(std::size_t)>& randomSource() {
  static std::function<Bytes(std::size_t)> source;
  return source;
}

}  // namespace

Bytes digest(DigestAlgorithm algorithm, ByteView data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), out.data(), &length, digestFor(algorithm), nullptr) !=
      1) {
    return {};
  }
  out.resize(length);
  return out;
}

std::string hexString(ByteView data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (auto b : data) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::optional<Bytes> bytesFromHex(std::string_view hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      return std::nullopt;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

std::size_t blockSize(CipherAlgorithm algorithm) {
  return algorithm == CipherAlgorithm::aes ? 16 : 8;
}

CipherResult crypt(Operation operation, CipherAlgorithm algorithm, CipherMode mode,
                   bool pkcs7Padding, ByteView key, ByteView iv, ByteView input) {
  CipherResult result;
  const bool cbc = mode == CipherMode::cbc;
  Bytes keyBytes;
  const EVP_CIPHER* cipher = cipherFor(algorithm, cbc, key, keyBytes);
  if (!cipher) {
    result.error = "invalid key size " + std::to_string(key.size());
    return result;
  }
  const std::size_t block = blockSize(algorithm);
  if (!pkcs7Padding && input.size() % block != 0) {
    result.error = "input is not a whole number of blocks";
    return result;
  }
  Bytes ivBytes(block, 0);
  if (cbc && !iv.empty()) {
    if (iv.size() < block) {
      result.error = "initialisation vector too short";
      return result;
    }
    std::copy(iv.begin(), iv.begin() + static_cast<std::ptrdiff_t>(block), ivBytes.begin());
  }

  std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> ctx(EVP_CIPHER_CTX_new());
  if (!ctx ||
      EVP_CipherInit_ex(ctx.get(), cipher, nullptr, keyBytes.data(), cbc ? ivBytes.data() : nullptr,
                        operation == Operation::encrypt ? 1 : 0) != 1) {
    result.error = opensslError();
    return result;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), pkcs7Padding ? 1 : 0);
  Bytes out(input.size() + block);
  int written = 0;
  int finalWritten = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &written, input.data(),
                       static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), out.data() + written, &finalWritten) != 1) {
    result.error = opensslError();
    return result;
  }
  out.resize(static_cast<std::size_t>(written + finalWritten));
  result.ok = true;
  result.data = std::move(out);
  return result;
}

BlockCipher::BlockCipher(Operation operation, CipherAlgorithm algorithm, CipherMode mode,
                         ByteView key)
    : blockSize_(crypto::blockSize(algorithm)), cbc_(mode == CipherMode::cbc) {
  Bytes keyBytes;
  const EVP_CIPHER* cipher = cipherFor(algorithm, cbc_, key, keyBytes);
  if (!cipher) return;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (!ctx) return;
  const Bytes zeroIv(blockSize_, 0);
  if (EVP_CipherInit_ex(ctx, cipher, nullptr, keyBytes.data(), cbc_ ? zeroIv.data() : nullptr,
                        operation == Operation::encrypt ? 1 : 0) != 1) {
    ERR_clear_error();
    EVP_CIPHER_CTX_free(ctx);
    return;
  }
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  context_ = ctx;
}

BlockCipher::~BlockCipher() {
  EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(context_));
}

BlockCipher::BlockCipher(BlockCipher&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)),
      blockSize_(other.blockSize_),
      cbc_(other.cbc_) {}

BlockCipher& BlockCipher::operator=(BlockCipher&& other) noexcept {
  if (this != &other) {
    EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(context_));
    context_ = std::exchange(other.context_, nullptr);
    blockSize_ = other.blockSize_;
    cbc_ = other.cbc_;
  }
  return *this;
}

bool BlockCipher::run(ByteView iv, ByteView input, std::uint8_t* out) {
  auto* ctx = static_cast<EVP_CIPHER_CTX*>(context_);
  if (!ctx || input.size() % blockSize_ != 0 || input.size() > 0x7FFFFFFF) return false;
  std::uint8_t ivBytes[16] = {};
  if (cbc_ && !iv.empty()) {
    if (iv.size() < blockSize_) return false;
    std::copy(iv.begin(), iv.begin() + static_cast<std::ptrdiff_t>(blockSize_), ivBytes);
  }
  // Keeps the cipher and its key schedule; only the chaining value starts again.
  if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, cbc_ ? ivBytes : nullptr, -1) != 1) {
    ERR_clear_error();
    return false;
  }
  int written = 0;
  int finalWritten = 0;
  if (EVP_CipherUpdate(ctx, out, &written, input.data(), static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(ctx, out + written, &finalWritten) != 1 ||
      static_cast<std::size_t>(written + finalWritten) != input.size()) {
    ERR_clear_error();
    return false;
  }
  return true;
}

Bytes BlockCipher::run(ByteView iv, ByteView input) {
  Bytes out(input.size());
  if (!run(iv, input, out.data())) return {};
  return out;
}

Bytes randomBytes(std::size_t count) {
  {
    std::lock_guard lock(randomMutex());
    if (randomSource()) {
      Bytes bytes = randomSource()(count);
      bytes.resize(count, 0);
      return bytes;
    }
  }
  Bytes bytes(count);
  if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
    // Without a working generator there is nothing safe to hand out.
    std::abort();
  }
  return bytes;
}

void setRandomSource(std::function<Bytes(std::size_t)> source) {
  std::lock_guard lock(randomMutex());
  randomSource() = std::move(source);
}

}  // namespace ostrel::platform::crypto
