"""The controller's HTTP API under /api/v100/."""

import hashlib
import json
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

NOT_FOUND_PAGE = (b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
                  b"<body><h1>Not Found</h1><p>The requested URL was not found on this "
                  b"server.</p></body></html>\n")


class HttpFaults:
    def __init__(self, refuse_after=None, stall=False, not_found=False, no_status_txt=False,
                 drop_restore=(), stall_after_headers=False, drip=0.0, hold_length=None,
                 redirect=None, endless_chunked=False):
        self.refuse_after = refuse_after  # close the listener after N requests
        self.drop_restore = set(drop_restore)  # restore triggers (from 1) closed unanswered
        self.stall = stall                # accept and never answer
        self.not_found = not_found        # 404 and an HTML page for everything
        self.no_status_txt = no_status_txt
        self.stall_after_headers = stall_after_headers  # headers, then nothing
        self.drip = drip                  # seconds between the body's bytes
        self.hold_length = hold_length    # announce this length, send the body, hold
        self.redirect = redirect          # answer 302 to this address
        self.endless_chunked = endless_chunked  # a chunked body that never ends

    def misbehaving_answer(self):
        """The name of the fault that shapes the answer, or None."""
        for name in ("stall_after_headers", "drip", "hold_length", "redirect", "endless_chunked"):
            if getattr(self, name) not in (None, False, 0.0):
                return name
        return None


def _is_restore_trigger(parts):
    return (parts.path == "/api/v100/status.ssi"
            and parse_qs(parts.query).get("action", [""])[-1] == "restoreconfig")


class ApiServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def __init__(self, sock, controller, faults, log, on_refuse):
        super().__init__(sock.getsockname(), ApiHandler, bind_and_activate=False)
        self.socket.close()
        self.socket = sock
        self.controller = controller
        self.faults = faults
        self.log = log
        self.on_refuse = on_refuse
        self.count = 0
        self.restore_count = 0
        self.count_lock = threading.Lock()
        self.stopping = threading.Event()

    def take_turn(self):
        """The request's number from 1, or None once the listener is closing."""
        with self.count_lock:
            if self.faults.refuse_after is not None and self.count >= self.faults.refuse_after:
                return None
            self.count += 1
            if self.count == self.faults.refuse_after:
                threading.Thread(target=self.on_refuse, daemon=True).start()
            return self.count

    def drops_restore(self):
        """Counts a restore trigger; True when this one goes unanswered."""
        with self.count_lock:
            self.restore_count += 1
            return self.restore_count in self.faults.drop_restore


class ApiHandler(BaseHTTPRequestHandler):
    server_version = "zantor-sim"
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):
        pass  # the request log speaks for every request

    def do_GET(self):
        parts = urlsplit(self.path)
        entry = {"kind": "GET", "path": parts.path, "query": parts.query}
        if self.server.take_turn() is None:
            self.close_connection = True
            entry["outcome"] = "refused"
            self.server.log.record(entry)
            return
        if self.server.faults.stall:
            entry["outcome"] = "stalled"
            self.server.log.record(entry)
            self.server.stopping.wait()
            return
        if _is_restore_trigger(parts) and self.server.drops_restore():
            # The upload stays unapplied; the client hears nothing back.
            self.close_connection = True
            entry["outcome"] = "dropped"
            self.server.log.record(entry)
            return
        status, content_type, body, entry["outcome"], extra = self._route(parts)
        entry.update(extra)
        entry["bytes"] = len(body)
        entry["sha256"] = hashlib.sha256(body).hexdigest()
        fault = self.server.faults.misbehaving_answer()
        if fault is not None:
            entry["outcome"] = fault.replace("_", "-")
            self.server.log.record(entry)
            try:
                getattr(self, "_answer_" + fault)(status, content_type, body)
            except (BrokenPipeError, ConnectionResetError):
                pass  # the client gave up, as it should
            return
        self.server.log.record(entry)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    # Misbehaving answers: each holds its connection until the client leaves
    # or the simulator stops.

    def _headers(self, status, content_type, length):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.flush()

    def _hold(self):
        self.server.stopping.wait()

    def _answer_stall_after_headers(self, status, content_type, body):
        self._headers(status, content_type, len(body))
        self._hold()

    def _answer_drip(self, status, content_type, body):
        self._headers(status, content_type, len(body))
        for i in range(len(body)):
            if self.server.stopping.wait(self.server.faults.drip):
                return
            self.wfile.write(body[i:i + 1])
            self.wfile.flush()

    def _answer_hold_length(self, status, content_type, body):
        self._headers(status, content_type, self.server.faults.hold_length)
        self.wfile.write(body[:self.server.faults.hold_length])
        self.wfile.flush()
        self._hold()

    def _answer_redirect(self, status, content_type, body):
        self.send_response(302)
        self.send_header("Location", self.server.faults.redirect)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def _answer_endless_chunked(self, status, content_type, body):
        # Chunked bodies need HTTP/1.1 on the status line.
        self.protocol_version = "HTTP/1.1"
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        chunk = b"%x\r\n" % 65536 + b"z" * 65536 + b"\r\n"
        while not self.server.stopping.is_set():
            self.wfile.write(chunk)

    def _route(self, parts):
        if self.server.faults.not_found:
            return 404, "text/html", NOT_FOUND_PAGE, "404", {}
        query = {k: v[-1] for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
        controller = self.server.controller
        if parts.path == "/api/v100/status.ssi":
            action = query.get("action")
            if action is None:
                return 200, "application/json", controller.status_json(), "ok", {}
            if action == "restoreconfig":
                outcome, stored, rejected = controller.restore()
                paths = [f["path"] for f in stored]
                body = json.dumps({"result": outcome, "stored": paths, "rejected": rejected})
                return (200 if stored or outcome == "ok" else 400, "application/json",
                        body.encode(), outcome,
                        {"stored": paths, "restored": stored, "rejected": rejected})
            if action == "firmwareupgrade":
                outcome = controller.check_upgrade(query.get("hash", ""), query.get("size", ""))
                body = json.dumps({"result": outcome}).encode()
                return 200 if outcome == "hash-match" else 400, "application/json", body, outcome, {}
            return 400, "application/json", b'{"result":"unknown action"}', "unknown-action", {}
        if parts.path == "/api/v100/backup.ssi":
            name = query.get("config", "")
            tar, found = controller.backup_tar(name, not self.server.faults.no_status_txt)
            return 200, "application/x-tar", tar, "ok" if found else "not-found", {}
        return 404, "text/html", NOT_FOUND_PAGE, "404", {}
