"""Every request, once: as a JSON line for tests and a readable line on stderr."""

import json
import sys
import threading


class RequestLog:
    def __init__(self, path=None):
        self.file = open(path, "a", encoding="utf-8") if path else None
        self.lock = threading.Lock()

    def record(self, entry):
        entry.setdefault("query", "")
        entry.setdefault("options", {})
        entry.setdefault("bytes", 0)
        entry.setdefault("sha256", "")
        with self.lock:
            if self.file:
                self.file.write(json.dumps(entry) + "\n")
                self.file.flush()
            target = entry["path"] + ("?" + entry["query"] if entry["query"] else "")
            options = " ".join("%s=%s" % kv for kv in entry["options"].items())
            sys.stderr.write("zantor-sim: %s %s%s -> %s, %d bytes\n" % (
                entry["kind"], target, " [" + options + "]" if options else "",
                entry["outcome"], entry["bytes"]))
            sys.stderr.flush()
