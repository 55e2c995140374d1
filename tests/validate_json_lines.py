#!/usr/bin/python3
# Checks JSON Lines against doc/segsniff.schema.json: every line one JSON
# document (no key twice in an object, which a streaming writer could
# produce and most readers would silently accept) that the schema accepts.
#
#   validate_json_lines.py <schema> <file>...
# Prints the first failure (file, line, path, message) and exits 1; exits 0
# when every line of every file is valid.
import json
import sys

import jsonschema


def no_duplicate_keys(pairs):
    keys = [k for k, _ in pairs]
    for k in keys:
        if keys.count(k) > 1:
            raise ValueError("key %r twice in one object" % k)
    return dict(pairs)


def explain(schema, document):
    # The error of the one document kind named by the "type" field, which
    # says more than "not valid under any of the given schemas".
    kind = document.get("type") if isinstance(document, dict) else None
    if "%s_document" % kind not in schema["$defs"]:
        return None
    narrowed = dict(schema)
    del narrowed["oneOf"]
    narrowed["$ref"] = "#/$defs/%s_document" % kind
    return jsonschema.exceptions.best_match(
        jsonschema.Draft202012Validator(narrowed).iter_errors(document))


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    lines = 0
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        if data and not data.endswith(b"\n"):
            print("%s: does not end with a line feed" % path)
            return 1
        for number, line in enumerate(data.splitlines(), 1):
            try:
                document = json.loads(line.decode("utf-8"), object_pairs_hook=no_duplicate_keys)
            except ValueError as e:
                print("%s:%d: not a JSON document: %s" % (path, number, e))
                return 1
            error = jsonschema.exceptions.best_match(validator.iter_errors(document))
            if error is not None:
                error = explain(schema, document) or error
                print("%s:%d: at %s: %s" % (path, number, "/".join(map(str, error.absolute_path)),
                                            error.message[:300]))
                return 1
            lines += 1
    if lines == 0:
        print("no documents")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
