#include "support/json_lines.h"

#include <cstdlib>
#include <cstring>

namespace segsniff::test {

std::vector<rapidjson::Document> json_lines(const std::string& text) {
  std::vector<rapidjson::Document> documents;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    rapidjson::Document document;
    document.Parse(line.c_str());
    EXPECT_FALSE(document.HasParseError()) << "not JSON: " << line.substr(0, 200);
    if (!document.HasParseError()) documents.push_back(std::move(document));
    start = end + 1;
  }
  return documents;
}

std::vector<const rapidjson::Value*> find_objects(
    const rapidjson::Value& value, const std::function<bool(const rapidjson::Value&)>& wanted) {
  std::vector<const rapidjson::Value*> found;
  std::function<void(const rapidjson::Value&)> visit = [&](const rapidjson::Value& v) {
    if (v.IsObject()) {
      if (wanted(v)) found.push_back(&v);
      for (const auto& member : v.GetObject()) visit(member.value);
    } else if (v.IsArray()) {
      for (const auto& element : v.GetArray()) visit(element);
    }
  };
  visit(value);
  return found;
}

std::vector<const rapidjson::Value*> objects_with(const rapidjson::Value& value, const char* key,
                                                  const char* text) {
  return find_objects(value, [&](const rapidjson::Value& v) {
    return v.HasMember(key) && v[key].IsString() && std::strcmp(v[key].GetString(), text) == 0;
  });
}

// Under wine the validator runs on the Unix machine underneath.
std::string schema_report(const ScratchDir& dir, const std::vector<std::string>& files) {
#ifdef _WIN32
  auto path = [](const std::string& windows_path) { return unix_path_of(windows_path); };
#else
  auto path = [](const std::string& same) { return same; };
#endif
  std::string command = "/usr/bin/python3 " SEGSNIFF_SOURCE_DIR "/tests/validate_json_lines.py " SEGSNIFF_SOURCE_DIR
                        "/doc/segsniff.schema.json";
  for (const std::string& name : files) command += " '" + path(dir.file(name)) + "'";
  command += " > '" + path(dir.file("schema-report.txt")) + "' 2>&1";
#ifdef _WIN32
  const int status = host_first_line_of(command + " && echo valid") == "valid" ? 0 : 1;
#else
  const int status = std::system(command.c_str());
#endif
  if (status == 0) return "";
  const std::string report = dir.read("schema-report.txt");
  return report.empty() ? "the validator could not be run (apt-get install python3-jsonschema)"
                        : report;
}

}  // namespace segsniff::test
