"""TFTP server (RFC 1350) with option negotiation (RFC 2347) for the block
size (RFC 2348) and the transfer size (RFC 2349).

Each transfer runs in a thread on a socket of its own (its transfer id); the
server retransmits its last packet when the peer stays silent."""

import hashlib
import socket
import struct
import threading

RRQ, WRQ, DATA, ACK, ERROR, OACK = 1, 2, 3, 4, 5, 6
ERR_UNDEFINED, ERR_NOT_FOUND, ERR_ACCESS, ERR_DISK_FULL = 0, 1, 2, 3
ERR_ILLEGAL, ERR_UNKNOWN_TID, ERR_OPTION = 4, 5, 8

DEFAULT_BLKSIZE = 512
MAX_BLKSIZE = 65464
MAX_UPLOAD = 64 * 1024 * 1024


FOREIGN_PACKETS = 10   # forged packets a transfer meets with --tftp-foreign-packets
FOREIGN_WAIT = 1.0     # how long the forger waits for the client's answer


class TftpFaults:
    def __init__(self, drop_every=0, cut_after=0, announce_tsize=True, deny=False, deny_writes=(),
                 end_early=None, oversized=False, foreign=False, endless=False):
        self.drop_every = drop_every      # leave out every Nth DATA packet sent
        self.deny_writes = set(deny_writes)  # write requests (from 1) answered with ERROR
        self.cut_after = cut_after        # end a transfer with ERROR after N blocks
        self.announce_tsize = announce_tsize
        self.deny = deny                  # answer every request with ERROR
        self.end_early = end_early        # a read ends cleanly after this many bytes
        self.oversized = oversized        # DATA blocks 4 times the agreed size
        self.foreign = foreign            # forged packets from another port
        self.endless = endless            # a read that never ends


class _Stop(Exception):
    """Ends a transfer: outcome goes to the request log, then packet (if
    any) to the peer, so the log is complete once the peer hears of it."""

    def __init__(self, outcome, packet=None):
        super().__init__(outcome)
        self.outcome = outcome
        self.packet = packet


def _error_packet(code, message):
    return struct.pack("!HH", ERROR, code) + message.encode() + b"\0"


def parse_request(packet):
    """(opcode, file name, mode, options with lowercase names) or None."""
    if len(packet) < 4:
        return None
    opcode = struct.unpack("!H", packet[:2])[0]
    fields = packet[2:].split(b"\0")
    if opcode not in (RRQ, WRQ) or len(fields) < 3 or fields[-1] != b"":
        return None
    fields = [f.decode("latin-1") for f in fields[:-1]]
    name, mode, rest = fields[0], fields[1].lower(), fields[2:]
    options = {}
    for i in range(0, len(rest) - 1, 2):
        options[rest[i].lower()] = rest[i + 1]
    return opcode, name, mode, options


class TftpServer:
    """files: object with read_file(name) -> bytes or None and
    accepts_upload(name) / store_upload(name, data).
    report(entry): called once per transfer with its request-log fields."""

    def __init__(self, sock, files, faults, report, timeout=1.0, retries=5):
        self.sock = sock
        self.files = files
        self.faults = faults
        self.report = report
        self.timeout = timeout
        self.retries = retries
        self.sent_data = 0
        self.writes = 0
        self.lock = threading.Lock()

    def serve_forever(self):
        while True:
            packet, peer = self.sock.recvfrom(65536)
            request = parse_request(packet)
            if request is None:
                self.sock.sendto(_error_packet(ERR_ILLEGAL, "Illegal TFTP operation"), peer)
                continue
            threading.Thread(target=self._transfer, args=(request, peer), daemon=True).start()

    # One transfer -------------------------------------------------------

    def _transfer(self, request, peer):
        opcode, name, mode, options = request
        entry = {"kind": "RRQ" if opcode == RRQ else "WRQ", "path": name, "query": "",
                 "options": options, "mode": mode, "bytes": 0, "sha256": "", "retransmits": 0}
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((self.sock.getsockname()[0], 0))
        sock.settimeout(self.timeout)
        try:
            if self.faults.deny:
                self._fail(ERR_UNDEFINED, "Service unavailable", "denied")
            if opcode == RRQ:
                self._send_file(sock, peer, name, options, entry)
            else:
                self._receive_file(sock, peer, name, options, entry)
        except _Stop as stop:
            self._finish(entry, stop.outcome)
            if stop.packet is not None:
                sock.sendto(stop.packet, peer)
        finally:
            sock.close()

    def _finish(self, entry, outcome):
        if "outcome" not in entry:
            entry["outcome"] = outcome
            self.report(entry)

    def _negotiate(self, options, tsize):
        accepted = {}
        blksize = DEFAULT_BLKSIZE
        if "blksize" in options:
            try:
                wanted = int(options["blksize"])
            except ValueError:
                wanted = 0
            if wanted >= 8:
                blksize = min(wanted, MAX_BLKSIZE)
                accepted["blksize"] = str(blksize)
        if "tsize" in options and tsize is not None:
            accepted["tsize"] = str(tsize)
        return blksize, accepted

    def _oack(self, accepted):
        body = b"".join(k.encode() + b"\0" + v.encode() + b"\0" for k, v in accepted.items())
        return struct.pack("!H", OACK) + body

    def _await(self, sock, peer, last, expect, entry):
        """Waits for a packet from the peer that `expect` accepts, sending
        `last` again on every timeout. Returns the accepted packet."""
        tries = 0
        while True:
            try:
                packet, source = sock.recvfrom(65536 + 4)
            except socket.timeout:
                tries += 1
                if tries > self.retries:
                    raise _Stop("timeout")
                sock.sendto(last, peer)
                entry["retransmits"] += 1
                continue
            if source != peer:
                sock.sendto(_error_packet(ERR_UNKNOWN_TID, "Unknown transfer ID"), source)
                continue
            if len(packet) >= 4 and struct.unpack("!H", packet[:2])[0] == ERROR:
                raise _Stop("client-error")
            if expect(packet):
                return packet

    def _fail(self, code, message, outcome):
        raise _Stop(outcome, _error_packet(code, message))

    def _send_file(self, sock, peer, name, options, entry):
        data = self.files.read_file(name)
        if data is None:
            self._fail(ERR_NOT_FOUND, "File not found", "not-found")
        tsize = len(data) if self.faults.announce_tsize else None
        blksize, accepted = self._negotiate(options, tsize)
        entry["blksize"] = blksize
        if accepted:
            oack = self._oack(accepted)
            sock.sendto(oack, peer)
            self._await(sock, peer, oack, lambda p: p[:4] == struct.pack("!HH", ACK, 0), entry)
        if self.faults.end_early is not None:
            data = data[:self.faults.end_early]
        if self.faults.oversized:
            blksize *= 4
        digest = hashlib.sha256()
        forger = _Forger(sock, peer, entry) if self.faults.foreign else None
        block = 1
        while True:
            if self.faults.cut_after and block > self.faults.cut_after:
                self._fail(ERR_UNDEFINED, "Transfer interrupted", "cut")
            chunk = data[(block - 1) * blksize:block * blksize]
            if self.faults.endless:
                chunk += b"\xee" * (blksize - len(chunk))
            digest.update(chunk)
            entry["bytes"] += len(chunk)
            entry["sha256"] = digest.hexdigest()
            last_block = len(chunk) < blksize
            if last_block:
                # Logged before the client can have it all.
                self._finish(entry, "ok")
            packet = struct.pack("!HH", DATA, block & 0xFFFF) + chunk
            if forger:
                forger.forge(struct.pack("!HH", DATA, block & 0xFFFF) + bytes(len(chunk)))
            if not self._dropped():
                sock.sendto(packet, peer)
            wanted = struct.pack("!HH", ACK, block & 0xFFFF)
            self._await(sock, peer, packet, lambda p: p[:4] == wanted, entry)
            if last_block:
                return
            block += 1

    def _dropped(self):
        if not self.faults.drop_every:
            return False
        with self.lock:
            self.sent_data += 1
            return self.sent_data % self.faults.drop_every == 0

    def _denied_write(self):
        with self.lock:
            self.writes += 1
            return self.writes in self.faults.deny_writes

    def _receive_file(self, sock, peer, name, options, entry):
        if self._denied_write():
            self._fail(ERR_UNDEFINED, "Service unavailable", "denied")
        if not self.files.accepts_upload(name):
            self._fail(ERR_ACCESS, "Access violation", "access-violation")
        announced = options.get("tsize")
        if announced is not None and announced.isdigit() and int(announced) > MAX_UPLOAD:
            self._fail(ERR_DISK_FULL, "Disk full or allocation exceeded", "too-large")
        blksize, accepted = self._negotiate(options, announced)
        entry["blksize"] = blksize
        last = self._oack(accepted) if accepted else struct.pack("!HH", ACK, 0)
        sock.sendto(last, peer)
        received = bytearray()
        forger = _Forger(sock, peer, entry) if self.faults.foreign else None
        block = 1
        while True:
            packet = self._await(sock, peer, last, self._data_or_repeat(sock, peer, block), entry)
            if self.faults.cut_after and block > self.faults.cut_after:
                self._fail(ERR_UNDEFINED, "Transfer interrupted", "cut")
            chunk = packet[4:]
            if len(chunk) > blksize or len(received) + len(chunk) > MAX_UPLOAD:
                self._fail(ERR_DISK_FULL, "Disk full or allocation exceeded", "too-large")
            received += chunk
            entry["bytes"] = len(received)
            last = struct.pack("!HH", ACK, block & 0xFFFF)
            if len(chunk) < blksize:
                break
            if forger:
                forger.forge(struct.pack("!HH", ACK, (block + 1) & 0xFFFF))
            sock.sendto(last, peer)
            block += 1
        # Stored and logged before the final ACK: the client may ask for the
        # upload to be applied as soon as it has that ACK.
        entry["sha256"] = hashlib.sha256(received).hexdigest()
        self.files.store_upload(name, bytes(received))
        self._finish(entry, "ok")
        sock.sendto(last, peer)
        self._dally(sock, peer, packet, last)

    def _data_or_repeat(self, sock, peer, block):
        """Accepts DATA for `block`; a repeat of the previous block means the
        peer lost our ACK, so that ACK goes out again."""
        wanted = struct.pack("!HH", DATA, block & 0xFFFF)
        previous = struct.pack("!HH", DATA, (block - 1) & 0xFFFF)

        def expect(packet):
            if packet[:4] == previous:
                sock.sendto(struct.pack("!HH", ACK, (block - 1) & 0xFFFF), peer)
            return packet[:4] == wanted
        return expect

    def _dally(self, sock, peer, final, ack):
        """The last ACK may be lost: answer a repeated final DATA once more."""
        try:
            packet, source = sock.recvfrom(65536 + 4)
            if source == peer and packet[:4] == final[:4]:
                sock.sendto(ack, peer)
        except socket.timeout:
            pass


class _Forger:
    """Sends forged packets to a transfer's client from another port of the
    server's host, as a stray or hostile sender would, and counts the
    "Unknown transfer ID" errors (code 5) the client answers them with."""

    def __init__(self, transfer_sock, peer, entry):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((transfer_sock.getsockname()[0], 0))
        self.sock.settimeout(FOREIGN_WAIT)
        self.peer = peer
        self.entry = entry
        self.left = FOREIGN_PACKETS
        entry["foreign_sent"] = 0
        entry["foreign_rejected"] = 0

    def forge(self, packet):
        if self.left == 0:
            self.sock.close()
            return
        self.left -= 1
        self.sock.sendto(packet, self.peer)
        self.entry["foreign_sent"] += 1
        try:
            answer, _ = self.sock.recvfrom(1024)
        except socket.timeout:
            return
        if answer[:4] == struct.pack("!HH", ERROR, ERR_UNKNOWN_TID):
            self.entry["foreign_rejected"] += 1
