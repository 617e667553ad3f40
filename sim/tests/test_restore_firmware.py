"""The restore trigger applies the last uploaded TAR; the upgrade request is
checked against the last uploaded image."""

import hashlib
import io
import struct
import tarfile
import unittest

from simproc import Sim, write_file
from test_backup import backup, crc16_mcrf4xx


def ustar(files):
    """A TAR written by Python's tarfile, not by the simulator's own writer."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, data in files.items():
            info = tarfile.TarInfo(name)
            info.size = len(data)
            tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def reseal(data):
    data = bytearray(data)
    data[4:8] = bytes(4)
    struct.pack_into("<I", data, 4, crc16_mcrf4xx(data))
    return bytes(data)


def upload(sim, data, name="up.bin"):
    write_file(sim.path(name), data)
    return sim.atftp("--put", "flashraw.bin", sim.path(name), blksize=128)


class RestoreTest(unittest.TestCase):
    def test_uploaded_members_replace_the_stored_files(self):
        views = b"restored view" * 10
        rare = b"\x01\x02\x03"
        with Sim() as sim:
            self.assertEqual(upload(sim, ustar({
                "/etc/config/views/views5.bin": views,
                "/etc/config/dali/dali_dt1_4_63.bin": rare})), 0)
            status, _ = sim.get("/api/v100/status.ssi?action=restoreconfig")
            self.assertEqual(status, 200)
            self.assertEqual(backup(sim, "views5")["/etc/config/views/views5.bin"], views)
            self.assertEqual(backup(sim, "dali_dt1_4_63")["/etc/config/dali/dali_dt1_4_63.bin"], rare)
            log = sim.requests()
            self.assertEqual([r["kind"] for r in log[:2]], ["WRQ", "GET"])
            self.assertEqual(log[1]["outcome"], "ok")
            self.assertEqual(sorted(log[1]["stored"]),
                             ["/etc/config/dali/dali_dt1_4_63.bin", "/etc/config/views/views5.bin"])
            self.assertEqual(sorted((f["path"], f["bytes"], f["sha256"]) for f in log[1]["restored"]),
                             [("/etc/config/dali/dali_dt1_4_63.bin", 3, hashlib.sha256(rare).hexdigest()),
                              ("/etc/config/views/views5.bin", len(views),
                               hashlib.sha256(views).hexdigest())])

    def test_each_upload_is_applied_once(self):
        with Sim() as sim:
            self.assertEqual(upload(sim, ustar({"/etc/config/views/views5.bin": b"v1"})), 0)
            self.assertEqual(sim.get("/api/v100/status.ssi?action=restoreconfig")[0], 200)
            self.assertEqual(sim.get("/api/v100/status.ssi?action=restoreconfig")[0], 400)
            self.assertEqual([r["outcome"] for r in sim.requests() if r["kind"] == "GET"],
                             ["ok", "no-upload"])

    def test_channel_file_must_be_sound_for_this_controller(self):
        with Sim("--firmware-version", "2.2.4") as sim:
            original = backup(sim, "dali1")["/etc/config/dali/dali1.bin"]
            renamed = bytearray(original)
            renamed[60 + 45:60 + 45 + 6] = b"Desk\0\0"
            good = reseal(renamed)
            bad_crc = bytes(renamed)  # edited without a new checksum
            old_format = reseal(b"\0" * 8 + struct.pack("<I", 2) + bytes(10912 - 12))
            for data, outcome, expected in ((bad_crc, "rejected", original),
                                            (old_format, "rejected", original),
                                            (good, "ok", good)):
                self.assertEqual(upload(sim, ustar({"/etc/config/dali/dali1.bin": data})), 0)
                status, _ = sim.get("/api/v100/status.ssi?action=restoreconfig")
                self.assertEqual(sim.requests()[-1]["outcome"], outcome)
                self.assertEqual(status, 200 if outcome == "ok" else 400)
                self.assertEqual(backup(sim, "dali1")["/etc/config/dali/dali1.bin"], expected)

    def test_nothing_uploaded_or_not_a_tar(self):
        with Sim() as sim:
            self.assertEqual(sim.get("/api/v100/status.ssi?action=restoreconfig")[0], 400)
            upload(sim, b"not a tar archive" * 100)
            self.assertEqual(sim.get("/api/v100/status.ssi?action=restoreconfig")[0], 400)
            self.assertEqual([r["outcome"] for r in sim.requests() if r["kind"] == "GET"],
                             ["no-upload", "bad-tar"])


class RestoreFaultTest(unittest.TestCase):
    def test_denied_write_is_only_the_one_asked_for(self):
        with Sim("--tftp-deny-write", "2") as sim:
            results = [upload(sim, ustar({"/etc/config/views/views%d.bin" % n: b"x"})) for n in range(3)]
            self.assertEqual([r == 0 for r in results], [True, False, True])
            self.assertEqual([r["outcome"] for r in sim.requests()], ["ok", "denied", "ok"])

    def test_dropped_trigger_gets_no_answer_and_applies_nothing(self):
        with Sim("--drop-restore", "1") as sim:
            self.assertEqual(upload(sim, ustar({"/etc/config/views/views9.bin": b"new"})), 0)
            with self.assertRaises(OSError):
                sim.get("/api/v100/status.ssi?action=restoreconfig")
            self.assertNotIn("/etc/config/views/views9.bin", backup(sim, "views9"))
            self.assertEqual(sim.get("/api/v100/status.ssi?action=restoreconfig")[0], 200)
            self.assertEqual(backup(sim, "views9")["/etc/config/views/views9.bin"], b"new")
            self.assertEqual([r["outcome"] for r in sim.requests() if "restoreconfig" in r["query"]],
                             ["dropped", "ok"])

    def test_full_store_holds_every_configuration(self):
        with Sim("--full-store", "--firmware-version", "1.3.0") as sim:
            for name in ("dali_dt1_4_63", "views63", "dali_dt8_2_5"):
                self.assertEqual(len(backup(sim, name)), 2, name)
            # The channel files keep the firmware's format.
            self.assertEqual(len(backup(sim, "dali1")["/etc/config/dali/dali1.bin"]), 11168)
            self.assertNotIn("/etc/config/dali/cd1.bin", backup(sim, "cd1"))


class FirmwareTest(unittest.TestCase):
    def test_hash_and_size_are_checked_against_the_upload(self):
        image = bytes(range(256)) * 4000
        digest = hashlib.sha256(image).hexdigest()
        with Sim() as sim:
            base = "/api/v100/status.ssi?action=firmwareupgrade&hash=%s&size=%d"
            self.assertEqual(sim.get(base % (digest, len(image)))[0], 400)
            self.assertEqual(upload(sim, image), 0)
            self.assertEqual(sim.get(base % (digest, len(image)))[0], 200)
            self.assertEqual(sim.get(base % (digest.upper(), len(image)))[0], 400)
            self.assertEqual(sim.get(base % ("0" * 64, len(image)))[0], 400)
            self.assertEqual(sim.get(base % (digest, len(image) - 1))[0], 400)
            outcomes = [r["outcome"] for r in sim.requests() if r["kind"] == "GET"]
            self.assertEqual(outcomes, ["no-image", "hash-match", "hash-mismatch",
                                        "hash-mismatch", "size-mismatch"])


if __name__ == "__main__":
    unittest.main()
