// Stands in for the files that call libxml2 and libcrypto in a build
// without them: no report can be written, and "-report" says so.
#include "platform/sha256.h"
#include "shell/dfxml_writer.h"

#include <cerrno>

namespace segsniff {

bool dfxml_writer_available() { return false; }

std::pair<std::string, std::string> dfxml_writer_library() { return {}; }

int write_dfxml(platform::OutputFile&, const ReportHead&, std::span<const ReportInput>,
                const NextRecord&, const ReportTail&) {
  return ENOSYS;
}

}  // namespace segsniff

namespace segsniff::platform {

struct Sha256::State {};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
void Sha256::restart() {}
void Sha256::add(std::span<const std::uint8_t>) {}
Sha256Digest Sha256::finish() { return {}; }

std::pair<std::string, std::string> sha256_library() { return {}; }

}  // namespace segsniff::platform
