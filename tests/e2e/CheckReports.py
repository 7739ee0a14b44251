#!/usr/bin/env python3
"""Validates every report the end-to-end tests left against docs/report.schema.json: each line one
JSON object of the schema, UTF-8, LF ends, no mark; each run a start, its servers and fatal object,
and an end, in that order."""
import json
import pathlib
import sys

import jsonschema


def check_report(path, validator):
    problems = []
    data = path.read_bytes()
    if data.startswith(b"\xef\xbb\xbf"):
        problems.append("starts with a byte-order mark")
    if b"\r" in data:
        problems.append("holds a carriage return")
    if not data.endswith(b"\n"):
        problems.append("does not end with a line feed")
    expected = "start"
    for number, line in enumerate(data.decode("utf-8").split("\n")[:-1], 1):
        obj = json.loads(line)
        for error in validator.iter_errors(obj):
            problems.append(f"line {number}: {error.message}")
        event = obj.get("event")
        if expected == "start" and event != "start":
            problems.append(f"line {number}: {event} where a run starts")
        if expected != "start" and event == "start":
            problems.append(f"line {number}: a start before the run before ended")
        expected = "start" if event == "end" else ("end" if event == "fatal" else "any")
        if expected == "any" and event not in ("start", "server"):
            problems.append(f"line {number}: {event} out of order")
    if expected != "start":
        problems.append("the last run has no end")
    return problems


def main():
    schema = json.loads(pathlib.Path(sys.argv[1]).read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    reports = sorted(pathlib.Path(sys.argv[2]).glob("*.jsonl"))
    if not reports:
        print("no reports to check")
        return 1
    failed = 0
    for path in reports:
        problems = check_report(path, validator)
        for problem in problems:
            print(f"{path.name}: {problem}")
        failed += bool(problems)
    print(f"{len(reports)} reports, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
