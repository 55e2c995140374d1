// SHA-256 through the EVP interface of OpenSSL's libcrypto.  A context that
// cannot be made or a digest step that fails means the library itself is
// broken (there is no input it could refuse): the process stops there
// rather than put a wrong digest into a report.
//
// The context is made at the first digest, not with the object: making one
// initialises libcrypto (its configuration file, its processor probes),
// which a run that writes no report should not pay for at start-up.
#include "platform/sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdlib>

namespace segsniff::platform {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  bool started = false;  // a digest is under way (restart() ran since the last finish())
};

namespace {

void check(int status) {
  if (status != 1) std::abort();
}

}  // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::restart() {
  if (state_->context == nullptr) state_->context = EVP_MD_CTX_new();
  if (state_->context == nullptr) std::abort();
  check(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr));
  state_->started = true;
}

void Sha256::add(std::span<const std::uint8_t> bytes) {
  if (!state_->started) restart();
  if (!bytes.empty()) check(EVP_DigestUpdate(state_->context, bytes.data(), bytes.size()));
}

Sha256Digest Sha256::finish() {
  if (!state_->started) restart();
  Sha256Digest digest{};
  unsigned int length = 0;
  check(EVP_DigestFinal_ex(state_->context, digest.data(), &length));
  if (length != digest.size()) std::abort();
  state_->started = false;  // what is added next starts a new digest
  return digest;
}

std::pair<std::string, std::string> sha256_library() {
  return {"OpenSSL", OpenSSL_version(OPENSSL_VERSION_STRING)};
}

}  // namespace segsniff::platform
