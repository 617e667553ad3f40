"""Backup answers read with Python's own tarfile, and the channel and inputs
files they carry checked against their published layout."""

import io
import json
import struct
import tarfile
import unittest

from simproc import Sim


def crc16_mcrf4xx(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc


def members(tar_bytes):
    with tarfile.open(fileobj=io.BytesIO(tar_bytes)) as tar:
        return {m.name: tar.extractfile(m).read() for m in tar}


def backup(sim, name):
    status, body = sim.get("/api/v100/backup.ssi?config=" + name)
    assert status == 200
    return members(body)


def check_sealed(test, data, version):
    size, crc, stored_version = struct.unpack_from("<III", data)
    test.assertEqual(size, len(data))
    test.assertEqual(stored_version, version)
    test.assertEqual(crc >> 16, 0)
    test.assertEqual(crc, crc16_mcrf4xx(data[:4] + bytes(4) + data[8:]))


class BackupTest(unittest.TestCase):
    def test_known_configuration_comes_with_status_txt(self):
        with Sim("--serial", "SN-77", "--mac", "aa:bb", "--model", "ZANTOR-3") as sim:
            got = backup(sim, "schedules")
            self.assertEqual(set(got), {"/etc/config/schedule/schedule.bin", "status.txt"})
            self.assertGreater(len(got["/etc/config/schedule/schedule.bin"]), 0)
            self.assertEqual(json.loads(got["status.txt"]), {
                "model_name": "ZANTOR-3", "firmware_version": "2.2.4",
                "serial_number": "SN-77", "mac": "aa:bb"})
            self.assertEqual(sim.requests()[0]["query"], "config=schedules")

    def test_absent_or_unknown_configuration_gives_status_txt_alone(self):
        with Sim() as sim:
            for name in ("views63", "dali5", "", "DALI1"):
                self.assertEqual(set(backup(sim, name)), {"status.txt"}, name)
            self.assertEqual({r["outcome"] for r in sim.requests()}, {"not-found"})

    def test_headers_are_plain_v7_with_checksum_and_end_marker(self):
        with Sim() as sim:
            _, body = sim.get("/api/v100/backup.ssi?config=commanders")
            header = body[:512]
            self.assertEqual(header[:26], b"/etc/config/cmdr/cmdr.bin\0")
            self.assertEqual(header[100:104], b"664\0")
            self.assertEqual(header[156:157], b"0")
            stored = int(header[148:154], 8)
            self.assertEqual(header[154:156], b"\0 ")
            self.assertEqual(stored, sum(header[:148]) + sum(header[156:]) + 256)
            self.assertEqual(len(body) % 512, 0)
            self.assertEqual(body[-1024:], bytes(1024))

    def test_channel_and_inputs_files_follow_the_firmware(self):
        # firmware: (channel file size, its version field, inputs size or None)
        cases = {"2.2.4": (7072, 3, 9564), "1.5.0": (7072, 3, 9436), "1.4.7": (10912, 2, 9436),
                 "1.3.0": (11168, 1, None), "1.2.9": (11168, 1, None), "1.10.0": (11168, 1, None)}
        for firmware, (size, version, inputs) in cases.items():
            with self.subTest(firmware=firmware), Sim("--firmware-version", firmware) as sim:
                for channel in range(1, 5):
                    got = backup(sim, "dali%d" % channel)
                    data = got["/etc/config/dali/dali%d.bin" % channel]
                    self.assertEqual(len(data), size)
                    check_sealed(self, data, version)
                    got = backup(sim, "cd%d" % channel)
                    path = "/etc/config/dali/cd%d.bin" % channel
                    if inputs is None:
                        self.assertNotIn(path, got)
                    else:
                        self.assertEqual(len(got[path]), inputs)
                        check_sealed(self, got[path], 3 if inputs == 9564 else 2)

    def test_channel_file_records_sit_where_the_layout_says(self):
        with Sim() as sim:
            data = backup(sim, "dali2")["/etc/config/dali/dali2.bin"]
            first = data[60:160]
            self.assertEqual(first[0] & 1, 1)           # has a short address
            self.assertEqual(first[11], 1)              # address 0
            self.assertEqual(first[45:45 + 33].split(b"\0")[0], b"Ch2 Lamp 1")
            unused = data[60 + 63 * 100:60 + 64 * 100]
            self.assertEqual(unused[11], 255)
            self.assertEqual(data[6460:6460 + 33].split(b"\0")[0], b"Ch2 Group 0")

    def test_empty_store_answers_every_name_with_status_txt(self):
        with Sim("--empty-store") as sim:
            self.assertEqual(set(backup(sim, "dali1")), {"status.txt"})
            self.assertEqual(set(backup(sim, "systemconfig")), {"status.txt"})

    def test_config_size_fills_every_configuration_the_store_lacks(self):
        with Sim("--empty-store", "--config-size", "70000") as sim:
            got = backup(sim, "views63")
            self.assertEqual(sorted(len(data) for data in got.values())[-1], 70000)
            self.assertIn("status.txt", got)
            self.assertEqual(set(backup(sim, "nosuchname")), {"status.txt"})

    def test_tar_without_status_txt_on_demand(self):
        with Sim("--no-status-txt") as sim:
            self.assertEqual(set(backup(sim, "rlc")), {"/etc/config/rlc/rlc.bin"})

    def test_status_record_has_every_member_as_text(self):
        with Sim("--status-field", "uptime=1 day", "--firmware-version", "1.5.0") as sim:
            status, body = sim.get("/api/v100/status.ssi")
            record = json.loads(body)
            self.assertEqual(status, 200)
            self.assertEqual(len(record), 20)
            self.assertTrue(all(isinstance(v, str) for v in record.values()))
            self.assertEqual(record["uptime"], "1 day")
            self.assertEqual(record["firmware_version"], "1.5.0")

    def test_status_body_as_given(self):
        with Sim("--status-body", '{"model_name": 5}') as sim:
            self.assertEqual(sim.get("/api/v100/status.ssi")[1], b'{"model_name": 5}')


if __name__ == "__main__":
    unittest.main()
