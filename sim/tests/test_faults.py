"""Misbehaviour on demand, as a client meets it."""

import socket
import struct
import time
import unittest
import urllib.error

from simproc import Sim, oack_options, read_file, tftp_request, write_file


def raw_get(port, target):
    conn = socket.create_connection(("127.0.0.1", port), timeout=5)
    conn.sendall(b"GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % target.encode())
    return conn


def read_head(conn):
    head = b""
    while b"\r\n\r\n" not in head:
        byte = conn.recv(1)
        if not byte:
            break
        head += byte
    return head


def wait_for_log(sim):
    """The log of a transfer the client broke off comes a moment later."""
    for _ in range(100):
        entries = sim.requests()
        if entries:
            return entries
        time.sleep(0.05)
    return sim.requests()


class HttpFaultTest(unittest.TestCase):
    def test_refuse_from_the_start(self):
        with Sim("--refuse") as sim:
            with self.assertRaises(urllib.error.URLError) as caught:
                sim.get("/api/v100/status.ssi")
            self.assertIsInstance(caught.exception.reason, ConnectionRefusedError)
            self.assertEqual(sim.requests(), [])
            # TFTP stays up; --tftp-error fails it
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("x")), 0)

    def test_refuse_after_some_requests(self):
        with Sim("--refuse-after", "2") as sim:
            self.assertEqual(sim.get("/api/v100/status.ssi")[0], 200)
            self.assertEqual(sim.get("/api/v100/backup.ssi?config=rlc")[0], 200)
            with self.assertRaises((urllib.error.URLError, ConnectionError)):
                sim.get("/api/v100/status.ssi")
            with self.assertRaises((urllib.error.URLError, ConnectionError)):
                sim.get("/api/v100/status.ssi")
            self.assertEqual([r["outcome"] for r in sim.requests()][:2], ["ok", "ok"])

    def test_stall_accepts_and_never_answers(self):
        with Sim("--stall") as sim:
            with self.assertRaises((socket.timeout, urllib.error.URLError)):
                sim.get("/api/v100/status.ssi", timeout=1)
            self.assertEqual(sim.requests()[0]["outcome"], "stalled")

    def test_headers_then_silence(self):
        with Sim("--http-stall-after-headers") as sim:
            conn = raw_get(sim.port, "/api/v100/status.ssi")
            with conn:
                head = read_head(conn)
                self.assertTrue(head.startswith(b"HTTP/1.0 200"))
                self.assertIn(b"Content-Length: ", head)
                conn.settimeout(0.5)
                with self.assertRaises(socket.timeout):
                    conn.recv(1)
            self.assertEqual(sim.requests()[0]["outcome"], "stall-after-headers")

    def test_drip_sends_one_byte_at_a_time(self):
        with Sim("--http-drip", "0.2") as sim:
            conn = raw_get(sim.port, "/api/v100/status.ssi")
            with conn:
                read_head(conn)
                conn.settimeout(1)
                self.assertEqual(len(conn.recv(100)), 1)
                self.assertEqual(len(conn.recv(100)), 1)

    def test_held_length_announces_more_than_it_sends(self):
        with Sim("--http-hold-length", "999999") as sim:
            conn = raw_get(sim.port, "/api/v100/status.ssi")
            with conn:
                head = read_head(conn)
                self.assertIn(b"Content-Length: 999999\r\n", head)
                conn.settimeout(0.5)
                body = b""
                with self.assertRaises(socket.timeout):
                    while True:
                        body += conn.recv(65536)
                self.assertEqual(len(body), sim.requests()[0]["bytes"])

    def test_redirect_names_the_address_given(self):
        with Sim("--http-redirect", "file:///etc/passwd") as sim:
            conn = raw_get(sim.port, "/api/v100/status.ssi")
            with conn:
                head = read_head(conn)
            self.assertTrue(head.startswith(b"HTTP/1.0 302"))
            self.assertIn(b"Location: file:///etc/passwd\r\n", head)

    def test_endless_chunked_body(self):
        with Sim("--http-endless-chunked") as sim:
            conn = raw_get(sim.port, "/api/v100/status.ssi")
            with conn:
                head = read_head(conn)
                self.assertIn(b"Transfer-Encoding: chunked", head)
                received = 0
                while received < 4 * 1024 * 1024:
                    received += len(conn.recv(65536))
            self.assertEqual(sim.requests()[0]["outcome"], "endless-chunked")

    def test_every_request_gets_404_and_html(self):
        with Sim("--http-404") as sim:
            for target in ("/api/v100/status.ssi", "/api/v100/backup.ssi?config=dali1"):
                status, body = sim.get(target)
                self.assertEqual(status, 404)
                self.assertTrue(body.startswith(b"<!DOCTYPE html>"))
            self.assertEqual({r["outcome"] for r in sim.requests()}, {"404"})


class TftpFaultTest(unittest.TestCase):
    def test_dropped_packets_are_sent_again(self):
        with Sim("--tftp-drop-every", "50", "--flash-size", "20000", "--tftp-timeout", "0.2") as sim:
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("x"), blksize=128), 0)
            with Sim("--flash-size", "20000") as clean:
                clean.atftp("--get", "flashfs.bin", clean.path("x"), blksize=128)
                self.assertEqual(read_file(sim.path("x")), read_file(clean.path("x")))
            # 157 blocks, every 50th left out the first time
            self.assertEqual(sim.requests()[0]["retransmits"], 3)

    def test_every_transfer_denied(self):
        with Sim("--tftp-error") as sim:
            self.assertNotEqual(sim.atftp("--get", "flashfs.bin", sim.path("x")), 0)
            write_file(sim.path("fw"), b"f" * 10)
            self.assertNotEqual(sim.atftp("--put", "flashraw.bin", sim.path("fw")), 0)
            self.assertEqual([r["outcome"] for r in sim.requests()], ["denied", "denied"])

    def test_cut_read_ends_with_an_error_packet(self):
        with Sim("--tftp-cut-after", "10") as sim:
            self.assertNotEqual(sim.atftp("--get", "flashfs.bin", sim.path("x"), blksize=128), 0)
            entry = sim.requests()[0]
            self.assertEqual((entry["outcome"], entry["bytes"]), ("cut", 1280))

    def test_cut_write_is_not_kept(self):
        with Sim("--tftp-cut-after", "3") as sim:
            write_file(sim.path("fw"), b"f" * 1000)
            self.assertNotEqual(sim.atftp("--put", "flashraw.bin", sim.path("fw"), blksize=128), 0)
            self.assertEqual(sim.requests()[0]["outcome"], "cut")
            sim.get("/api/v100/status.ssi?action=restoreconfig")
            self.assertEqual(sim.requests()[-1]["outcome"], "no-upload")

    def test_early_end_is_a_clean_short_transfer(self):
        with Sim("--tftp-end-early", "1280", "--flash-size", "20000") as sim:
            sock, packet, _ = tftp_request(sim.port, 1, "flashfs.bin", {"tsize": "0", "blksize": "128"})
            sock.close()
            self.assertEqual(oack_options(packet)["tsize"], "20000")  # the size stays the file's
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("x"), blksize=128), 0)
            self.assertEqual(len(read_file(sim.path("x"))), 1280)

    def test_oversized_blocks(self):
        with Sim("--tftp-oversized-blocks", "--flash-size", "3000") as sim:
            sock, packet, server = tftp_request(sim.port, 1, "flashfs.bin", {"blksize": "128"})
            with sock:
                self.assertEqual(oack_options(packet), {"blksize": "128"})
                sock.sendto(struct.pack("!HH", 4, 0), server)
                data, _ = sock.recvfrom(70000)
                self.assertEqual(len(data), 4 + 512)

    def test_endless_read_runs_past_the_file(self):
        with Sim("--tftp-endless", "--flash-size", "256") as sim:
            sock, _, server = tftp_request(sim.port, 1, "flashfs.bin", {"blksize": "128"})
            with sock:
                sock.sendto(struct.pack("!HH", 4, 0), server)
                for block in range(1, 10):
                    data, _ = sock.recvfrom(1000)
                    self.assertEqual(data[:4], struct.pack("!HH", 3, block))
                    self.assertEqual(len(data), 4 + 128)
                    sock.sendto(struct.pack("!HH", 4, block), server)
                sock.sendto(struct.pack("!HH", 5, 3) + b"enough\0", server)
            self.assertEqual(wait_for_log(sim)[0]["outcome"], "client-error")

    def test_foreign_packets_come_from_another_port_and_count_the_answers(self):
        with Sim("--tftp-foreign-packets", "--flash-size", "2000") as sim:
            sock, _, server = tftp_request(sim.port, 1, "flashfs.bin", {"blksize": "128"})
            with sock:
                sock.sendto(struct.pack("!HH", 4, 0), server)
                forged, stranger = sock.recvfrom(1000)
                self.assertNotEqual(stranger, server)
                self.assertEqual(forged[:4], struct.pack("!HH", 3, 1))
                sock.sendto(struct.pack("!HH", 5, 5) + b"Unknown transfer ID\0", stranger)
                genuine, source = sock.recvfrom(1000)
                self.assertEqual(source, server)
                self.assertNotEqual(genuine[4:], forged[4:])
                sock.sendto(struct.pack("!HH", 5, 0) + b"done\0", server)
            entry = wait_for_log(sim)[0]
            self.assertEqual((entry["foreign_sent"], entry["foreign_rejected"]), (1, 1))

    def test_size_left_unannounced(self):
        with Sim("--no-tsize", "--flash-size", "3145728") as sim:
            sock, packet, _ = tftp_request(sim.port, 1, "flashfs.bin", {"tsize": "0", "blksize": "128"})
            sock.close()
            self.assertEqual(oack_options(packet), {"blksize": "128"})
            sock, packet, _ = tftp_request(sim.port, 1, "flashfs.bin", {"tsize": "0"})
            sock.close()
            self.assertEqual(packet[:4], struct.pack("!HH", 3, 1))  # plain DATA, no OACK
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("x"), blksize=128), 0)
            self.assertEqual(len(read_file(sim.path("x"))), 3145728)


if __name__ == "__main__":
    unittest.main()
