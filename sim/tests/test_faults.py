"""Misbehaviour on demand, as a client meets it."""

import socket
import struct
import unittest
import urllib.error

from simproc import Sim, oack_options, read_file, tftp_request, write_file


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
