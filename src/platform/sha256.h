// SHA-256 of bytes handed over in pieces, for the carving report's digest
// of every file written.  The implementation is picked by the build: the
// EVP interface of OpenSSL's libcrypto (sha256_openssl.cpp) where it is
// found; a Windows build may use the system's own hashing instead.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace segsniff::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Starts a new digest, forgetting whatever was added before.
  void restart();
  void add(std::span<const std::uint8_t> bytes);
  // The digest of everything added since the restart (or since the object
  // was made, or since the last finish: each of these starts a digest).
  Sha256Digest finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The library that computes it and its version, as the report names them:
// {"OpenSSL", "3.0.19"}, say.
std::pair<std::string, std::string> sha256_library();

}  // namespace segsniff::platform
