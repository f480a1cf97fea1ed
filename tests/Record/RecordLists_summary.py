#!/usr/bin/env python3
"""Reads the three list documents of the record index (one per line) with
Python's own JSON parser and prints one line per document and per file:
the values in key order joined by "|", "time" left out, each snapshot record
as image@position."""
import json
import sys

for line in sys.stdin.read().split("\n"):
    if not line:
        continue
    doc = json.loads(line)
    items = doc.get("mp4data", doc.get("jpgdata"))
    print(doc["type"], len(items))
    for f in items:
        values = [str(v) for k, v in f.items() if k not in ("time", "associateddata")]
        values += [a["image"] + "@" + a["position"] for a in f.get("associateddata", [])]
        print("  " + "|".join(values))
