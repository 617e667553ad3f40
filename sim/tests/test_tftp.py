"""The TFTP server as Debian's atftp client and curl see it."""

import hashlib
import struct
import subprocess
import unittest

from simproc import Sim, oack_options, read_file, tftp_request, write_file

MIB2 = 2 * 1024 * 1024


class ReadTest(unittest.TestCase):
    def test_flash_images_arrive_whole_with_any_block_size(self):
        with Sim() as sim:
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("a"), blksize=128), 0)
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("b")), 0)
            curl = subprocess.run(["curl", "-sS", "--tftp-blksize", "128", "-o", sim.path("c"),
                                   "tftp://127.0.0.1:%d/flashfs.bin" % sim.port], timeout=60)
            self.assertEqual(curl.returncode, 0)
            self.assertEqual(sim.atftp("--get", "flashraw.bin", sim.path("raw"), blksize=128), 0)
            image = read_file(sim.path("a"))
            self.assertEqual(len(image), MIB2)
            self.assertEqual(read_file(sim.path("b")), image)
            self.assertEqual(read_file(sim.path("c")), image)
            self.assertNotEqual(read_file(sim.path("raw")), image)
            log = sim.requests()
            self.assertEqual([r["kind"] for r in log], ["RRQ"] * 4)
            self.assertEqual([r["blksize"] for r in log], [128, 512, 128, 128])
            self.assertEqual(log[2]["options"]["tsize"], "0")
            for entry in log[:3]:
                self.assertEqual(entry["outcome"], "ok")
                self.assertEqual(entry["bytes"], MIB2)
                self.assertEqual(entry["sha256"], hashlib.sha256(image).hexdigest())

    def test_file_of_whole_blocks_ends_with_an_empty_block(self):
        with Sim("--flash-size", "1024") as sim:
            self.assertEqual(sim.atftp("--get", "flashfs.bin", sim.path("x"), blksize=128), 0)
            self.assertEqual(len(read_file(sim.path("x"))), 1024)

    def test_options_are_answered_in_an_oack(self):
        with Sim("--flash-size", "3000") as sim:
            sock, packet, server = tftp_request(sim.port, 1, "flashfs.bin",
                                                {"blksize": "128", "tsize": "0", "windowsize": "4"})
            with sock:
                self.assertEqual(struct.unpack("!H", packet[:2])[0], 6)
                self.assertEqual(oack_options(packet), {"blksize": "128", "tsize": "3000"})
                self.assertNotEqual(server[1], sim.port)
                sock.sendto(struct.pack("!HH", 4, 0), server)
                data, _ = sock.recvfrom(1000)
                self.assertEqual(data[:4], struct.pack("!HH", 3, 1))
                self.assertEqual(len(data), 4 + 128)

    def test_unknown_file_gets_an_error_packet(self):
        with Sim() as sim:
            sock, packet, _ = tftp_request(sim.port, 1, "nothing.bin", {})
            sock.close()
            self.assertEqual(packet[:4], struct.pack("!HH", 5, 1))
            self.assertEqual(sim.requests()[0]["outcome"], "not-found")


class WriteTest(unittest.TestCase):
    def test_upload_is_kept_byte_for_byte(self):
        payload = bytes(range(256)) * 777 + b"tail"
        with Sim() as sim:
            write_file(sim.path("up"), payload)
            self.assertEqual(sim.atftp("--put", "flashraw.bin", sim.path("up"), blksize=128), 0)
            curl = subprocess.run(["curl", "-sS", "--tftp-blksize", "128", "-T", sim.path("up"),
                                   "tftp://127.0.0.1:%d/flashraw.bin" % sim.port], timeout=60)
            self.assertEqual(curl.returncode, 0)
            log = sim.requests()
            self.assertEqual([r["kind"] for r in log], ["WRQ", "WRQ"])
            for entry in log:
                self.assertEqual(entry["outcome"], "ok")
                self.assertEqual(entry["bytes"], len(payload))
                self.assertEqual(entry["sha256"], hashlib.sha256(payload).hexdigest())
            self.assertEqual(log[1]["options"]["tsize"], str(len(payload)))

    def test_only_flashraw_may_be_written(self):
        with Sim() as sim:
            write_file(sim.path("up"), b"x" * 10)
            self.assertNotEqual(sim.atftp("--put", "flashfs.bin", sim.path("up")), 0)
            self.assertEqual(sim.requests()[0]["outcome"], "access-violation")


if __name__ == "__main__":
    unittest.main()
