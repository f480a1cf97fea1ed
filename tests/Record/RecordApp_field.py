"""Reads "LIST<TAB>KEY<TAB>document" on standard input, parses the document
with Python's json module and prints the KEY of every object of the list
LIST, comma separated."""
import json
import sys

lst, key, doc = sys.stdin.read().split("\t", 2)
print(",".join(str(o[key]) for o in json.loads(doc)[lst]))
