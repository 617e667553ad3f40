"""The simulated controller's state: its status record, its configuration
store, its flash images and the last image uploaded to it."""

import hashlib
import json
import struct
import threading

from . import catalogue, channel_files, tar_v7

STATUS_MEMBERS = [
    "model_name", "firmware_version", "build_date", "hostname", "serial_number",
    "mac", "rtc_temperature", "ram_memory", "flash_memory", "boot_count", "time",
    "uptime", "dali_channel_1", "dali_channel_2", "dali_channel_3", "dali_channel_4",
    "ip", "bacnet_ip", "session_id", "username",
]

# Configuration files besides the channel and inputs files that a freshly
# commissioned controller already has.
SEEDED_NAMES = (
    ["systemconfig", "bastimeout", "schedules", "schedulesastro", "rlc", "commanders"]
    + ["daincd%d" % c for c in range(1, 5)]
    + ["system_ui32", "dalv", "daeu", "daeutr", "daeutc", "dacdlcm", "dacdlcr",
       "rlcnamenvp", "cmdrnamenvp"]
    + ["dali_dt8_1_%d" % n for n in range(4)]
    + ["views%d" % n for n in range(4)]
)

FLASH_NAMES = ("flashfs.bin", "flashraw.bin")


def pseudo_bytes(seed, size):
    """Deterministic filler, the same on every run."""
    return hashlib.shake_256(seed.encode()).digest(size)


def default_status(model, firmware, serial, mac):
    return {
        "model_name": model, "firmware_version": firmware,
        "build_date": "2024-05-13 10:42:07", "hostname": "zantor-" + serial.lower(),
        "serial_number": serial, "mac": mac, "rtc_temperature": "31.5",
        "ram_memory": "65536 kB / 29412 kB free", "flash_memory": "16384 kB / 9120 kB free",
        "boot_count": "42", "time": "2024-06-01 12:00:00", "uptime": "3 days, 04:12:55",
        "dali_channel_1": "ok", "dali_channel_2": "ok", "dali_channel_3": "ok",
        "dali_channel_4": "ok", "ip": "127.0.0.1", "bacnet_ip": "127.0.0.1:47808",
        "session_id": "0", "username": "admin",
    }


class Controller:
    def __init__(self, status, flash_size, empty_store=False, status_body=None, full_store=False):
        self.status = status
        self.status_body = status_body
        self.lock = threading.Lock()
        self.flash = {name: pseudo_bytes(name, flash_size) for name in FLASH_NAMES}
        self.last_upload = None
        self.store = {} if empty_store else self._seed(full_store)
        # Bytes of filler for every configuration not in the store (0: none),
        # made when asked for, for large backups.
        self.config_size = 0

    def _seed(self, full_store):
        firmware = self.status["firmware_version"]
        dali_format = channel_files.format_for(channel_files.CHANNEL_FORMATS, firmware)
        cd_format = channel_files.format_for(channel_files.INPUTS_FORMATS, firmware)
        store = {}
        for channel in range(1, 5):
            store[catalogue.channel_path(channel)] = channel_files.channel_file(channel, dali_format)
            # Firmware before the inputs format 2 keeps no inputs files.
            if cd_format in channel_files.INPUTS_SIZES:
                store[catalogue.inputs_path(channel)] = channel_files.inputs_file(channel, cd_format)
        names = SEEDED_NAMES
        if full_store:
            # Channel and inputs files only exist in a format the firmware has.
            channel_files_paths = {f(c) for c in range(1, 5)
                                   for f in (catalogue.channel_path, catalogue.inputs_path)}
            names = [name for name, path in catalogue.CONFIG_FILES if path not in channel_files_paths]
        for name in names:
            size = 32 + len(name) * 8
            store[catalogue.CONFIG_PATHS[name]] = pseudo_bytes(name, size)
        return store

    def status_json(self):
        if self.status_body is not None:
            return self.status_body.encode()
        return json.dumps(self.status).encode()

    def identity_json(self):
        keys = ("model_name", "firmware_version", "serial_number", "mac")
        return json.dumps({k: self.status[k] for k in keys}, indent=1).encode()

    def backup_tar(self, name, with_status=True):
        """The TAR answering a backup request; only "status.txt" when the
        configuration is unknown or absent."""
        members = []
        path = catalogue.CONFIG_PATHS.get(name)
        with self.lock:
            data = self.store.get(path) if path else None
        if data is None and path and self.config_size:
            data = pseudo_bytes(name, self.config_size)
        if data is not None:
            members.append((path, data))
        if with_status:
            members.append(("status.txt", self.identity_json()))
        return tar_v7.pack(members), data is not None

    # TFTP file access ------------------------------------------------------

    def read_file(self, name):
        return self.flash.get(name)

    def accepts_upload(self, name):
        return name == "flashraw.bin"

    def store_upload(self, name, data):
        with self.lock:
            self.last_upload = data

    # Restore and firmware upgrade ------------------------------------------

    def restore(self):
        """Applies the last upload as a TAR, once: a second trigger needs a
        new upload. Returns (outcome, stored [{path, bytes, sha256}],
        rejected {path: reason})."""
        with self.lock:
            upload, self.last_upload = self.last_upload, None
        if upload is None:
            return "no-upload", [], {}
        try:
            members = tar_v7.unpack(upload)
        except tar_v7.TarError as error:
            return "bad-tar", [], {"": str(error)}
        stored, rejected = [], {}
        for path, data in members:
            reason = self._channel_file_fault(path, data)
            if reason:
                rejected[path] = reason
                continue
            with self.lock:
                self.store[path] = data
            stored.append({"path": path, "bytes": len(data),
                           "sha256": hashlib.sha256(data).hexdigest()})
        return ("rejected" if rejected else "ok"), stored, rejected

    def _channel_file_fault(self, path, data):
        """Why a channel or inputs file would not be taken, or None."""
        is_channel = path in {catalogue.channel_path(c) for c in range(1, 5)}
        is_inputs = path in {catalogue.inputs_path(c) for c in range(1, 5)}
        if not (is_channel or is_inputs):
            return None
        if len(data) < 12:
            return "too short"
        stored_crc, version = struct.unpack_from("<II", data, 4)
        cleared = bytearray(data)
        cleared[4:8] = bytes(4)
        if stored_crc != channel_files.crc16(cleared):
            return "bad checksum"
        if is_inputs:
            if channel_files.INPUTS_SIZES.get(version) != len(data):
                return "inputs format %d with %d bytes" % (version, len(data))
            return None
        own = channel_files.format_for(channel_files.CHANNEL_FORMATS, self.status["firmware_version"])
        layout = channel_files.CHANNEL_LAYOUTS.get(version)
        if layout is None or layout.size != len(data):
            return "channel format %d with %d bytes" % (version, len(data))
        if max(version, 1) != max(own, 1):
            return "channel format %d on a format %d controller" % (version, own)
        return None

    def check_upgrade(self, hash_text, size_text):
        with self.lock:
            image = self.last_upload
        if image is None:
            return "no-image"
        if not size_text.isdigit() or int(size_text) != len(image):
            return "size-mismatch"
        if hash_text != hashlib.sha256(image).hexdigest():
            return "hash-mismatch"
        return "hash-match"
