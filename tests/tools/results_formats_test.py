#!/usr/bin/env python3
"""px3tool results in its three forms, read back by independent readers: Python's csv and json
modules must find the same ranks, dogs, times and splits as the clipboard text shows (a name a
spreadsheet would run as a formula written as text in the CSV), and the numbers behind the texts
must agree with them.

usage: results_formats_test.py PX3TOOL WORKDIR
"""
import csv
import io
import json
import os
import shutil
import subprocess
import sys

tool, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
env = dict(os.environ, VELTRO_DATA_DIR=os.path.join(work, "data"))
heat = os.path.join(work, "heat 3.px3")


def run(*args, ok=True):
    r = subprocess.run([tool, *args], env=env, capture_output=True)
    if ok and r.returncode != 0:
        sys.exit(f"px3tool {' '.join(args)} failed: {r.stderr.decode()}")
    return r


run("demo", heat, "--fast")
run("set-dog", heat, "1", "Fast Lady")
run("set-dog", heat, "2", 'Slow "Joe", the second')
run("set-dog", heat, "3", "=Åsa's Flyer")  # a spreadsheet would take it for a formula
run("set-dog", heat, "6", "")  # a vacant box
run("set-time", heat, "1", "26410")
run("set-time", heat, "1", "12020", "--split")
run("set-time", heat, "2", "26410", "--dead-heat")
run("set-time", heat, "3", "27100")
run("set-time", heat, "4", "0", "--no-time", "DNF")
run("set-time", heat, "5", "0", "--no-time", "DSQ")

text = run("results", heat, "--box-delay", "30").stdout.decode("utf-8")
lines = text.split("\r\n")
assert lines[0] == "Heat1" and lines[-1] == "", text
shown = [line.split("\t") for line in lines[1:-1]]
assert len(shown) == 5, text  # box 6 has no dog
assert [s[1] for s in shown][:3] == ["Fast Lady", 'Slow "Joe", the second', "=Åsa's Flyer"], text

rows = list(csv.DictReader(io.StringIO(run("results", heat, "--format", "csv", "--box-delay", "30")
                                       .stdout.decode("utf-8"), newline="")))
doc = json.loads(run("results", heat, "--format", "json", "--box-delay", "30").stdout.decode("utf-8"))
results = doc["results"]
assert doc["heat"] == "1" and doc["box_delay_ms"] == 30 and doc["recording"] == "heat 3.px3", doc
assert doc["official"] is None, doc
assert len(rows) == len(results) == len(shown), (rows, results)


def as_text(cell):
    """The CSV writes a cell that begins like a formula ("=...", "---,---") as text."""
    return "'" + cell if cell[:1] in ("=", "+", "-", "@", "\t", "\r") else cell


def time_text(ms):
    return f"{ms // 1000},{ms % 1000 // 10:02d}"


for position, (s, c, j) in enumerate(zip(shown, rows, results), start=1):
    rank, dog, finish = s[0], s[1], s[2]
    split = s[3] if len(s) > 3 else ""
    # The same values in all three forms.
    assert c["rank"] == ("" if rank == "---" else rank) and j["rank"] == (None if rank == "---" else int(rank))
    assert c["dog"] == as_text(dog) and j["dog"] == dog, (c, j)
    assert c["finish"] == as_text(finish) and j["finish"] == finish
    assert c["split"] == as_text(split) and j["split"] == split
    assert int(c["position"]) == j["position"] == position
    assert c["heat"] == "1" and c["box_delay_ms"] == "30" and c["recording"] == "heat 3.px3"
    # The numbers say what the texts say.
    if j["finish_ms"] is None:
        assert c["finish_ms"] == "" and finish in ("DNF", "DSQ", "---,---"), (s, j)
        assert j["no_time"] == c["no_time"] == {"DNF": "DNF", "DSQ": "DSQ"}.get(finish, j["no_time"])
    else:
        assert int(c["finish_ms"]) == j["finish_ms"] and time_text(j["finish_ms"]) == finish, (s, j)
        assert j["no_time"] is None and c["no_time"] == ""
    if split and split != "---,---":
        assert time_text(j["split_ms"]) == split and int(c["split_ms"]) == j["split_ms"]
    assert (c["dead_heat"] == "1") == j["dead_heat"]

by_box = {j["box"]: j for j in results}
assert by_box[1]["finish_ms"] == 26440 and by_box[1]["split_ms"] == 12050  # box delay added
assert by_box[2]["dead_heat"] and by_box[2]["rank"] == by_box[1]["rank"] == 1 and by_box[2]["distance"] == "DH"
assert by_box[3]["rank"] == 3 and by_box[3]["distance"] != ""
assert by_box[4]["no_time"] == "DNF" and by_box[5]["no_time"] == "DSQ"

# A form the tool does not know is refused with nothing on standard output.
bad = run("results", heat, "--format", "xml", ok=False)
assert bad.returncode == 2 and bad.stdout == b"" and b"--format takes text, csv or json" in bad.stderr, bad
print("results formats agree:", len(shown), "lines")
