#!/usr/bin/env python3
"""Validates JSON documents against a JSON Schema (draft 2020-12).

usage: validate-json.py SCHEMA FILE

FILE holds one JSON document per line. Prints one line per violation
("document 3: /objects/1/properties/4/base: ... is not valid ...") and exits 1
when there is any, 2 when the schema itself is not a valid schema or a line is
not JSON, 0 otherwise.
"""
import json
import sys

from jsonschema import Draft202012Validator
from jsonschema.exceptions import SchemaError


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    try:
        Draft202012Validator.check_schema(schema)
    except SchemaError as e:
        print(f"{argv[1]}: not a valid schema: {e.message}")
        return 2
    validator = Draft202012Validator(schema)
    violations = 0
    with open(argv[2], encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            try:
                document = json.loads(line)
            except json.JSONDecodeError as e:
                print(f"document {number}: not JSON: {e}")
                return 2
            for error in sorted(validator.iter_errors(document), key=lambda e: list(e.path)):
                path = "/" + "/".join(str(p) for p in error.absolute_path)
                print(f"document {number}: {path}: {error.message}")
                violations += 1
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
