// Reading the JSON Lines of -json in tests: every line parsed, objects
// found anywhere in a document, and the schema check through Debian's
// python3-jsonschema (tests/validate_json_lines.py).
#pragma once

#include <rapidjson/document.h>

#include <functional>
#include <string>
#include <vector>

#include "support/golden.h"

namespace segsniff::test {

// Every line of `text` parsed; a line that is no JSON document fails the
// calling test and is left out.
std::vector<rapidjson::Document> json_lines(const std::string& text);

// Every object in `value` (itself included) for which `wanted` holds, in
// document order.
std::vector<const rapidjson::Value*> find_objects(
    const rapidjson::Value& value, const std::function<bool(const rapidjson::Value&)>& wanted);

// The objects whose string member `key` is `text`.
std::vector<const rapidjson::Value*> objects_with(const rapidjson::Value& value, const char* key,
                                                  const char* text);

// Checks the files of `dir` named in `files` against doc/segsniff.schema.json:
// empty when all are valid, else the validator's report.
std::string schema_report(const ScratchDir& dir, const std::vector<std::string>& files);

}  // namespace segsniff::test
