"""Runs the simulator as a separate process for one test, as the tool meets it."""

import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

SIM_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, SIM_DIR)
SCRIPT = os.path.join(SIM_DIR, "zantor_sim.py")


class Sim:
    def __init__(self, *args):
        self.dir = tempfile.TemporaryDirectory(prefix="zantor-sim-test-")
        self.log_path = os.path.join(self.dir.name, "requests.jsonl")
        self.proc = subprocess.Popen(
            [sys.executable, SCRIPT, "--port", "0", "--request-log", self.log_path] + list(args),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        line = self.proc.stdout.readline()
        if not line.strip().isdigit():
            self.close()
            raise RuntimeError("simulator did not start")
        self.port = int(line)

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdout.close()
        self.dir.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def requests(self):
        with open(self.log_path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def get(self, target, timeout=10):
        """(HTTP status, body) of GET http://127.0.0.1:PORT + target."""
        url = "http://127.0.0.1:%d%s" % (self.port, target)
        try:
            with urllib.request.urlopen(url, timeout=timeout) as answer:
                return answer.status, answer.read()
        except urllib.error.HTTPError as error:
            return error.code, error.read()

    def atftp(self, direction, remote, local, blksize=None):
        """Debian's atftp client; returns its exit status."""
        args = ["atftp", direction, "-r", remote, "-l", local]
        if blksize is not None:
            args[1:1] = ["--option", "blksize %d" % blksize]
        args += ["127.0.0.1", str(self.port)]
        return subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=60).returncode


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def tftp_request(port, opcode, name, options):
    """Sends one RRQ/WRQ from a fresh socket; returns (socket, first answer,
    server's transfer address). The caller closes the socket."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(5)
    body = name.encode() + b"\0octet\0"
    for key, value in options.items():
        body += key.encode() + b"\0" + value.encode() + b"\0"
    sock.sendto(struct.pack("!H", opcode) + body, ("127.0.0.1", port))
    packet, server = sock.recvfrom(70000)
    return sock, packet, server


def oack_options(packet):
    fields = packet[2:].split(b"\0")[:-1]
    return {fields[i].decode(): fields[i + 1].decode() for i in range(0, len(fields), 2)}
