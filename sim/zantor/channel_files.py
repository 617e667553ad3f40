"""Channel files (dali1..4) and inputs files (cd1..4) as the controller keeps
them, in the layout that its firmware version uses, with CRC-16/MCRF4XX."""

import struct

# (lowest firmware version, format); versions compare byte-wise, as the
# controller's own lookup does, so "1.10.0" sorts before "1.3.0".
CHANNEL_FORMATS = [("1.0.0", 0), ("1.3.0", 1), ("1.3.1", 2), ("1.5.0", 3)]
INPUTS_FORMATS = [("1.0.0", 0), ("1.3.1", 2), ("2.2.4", 3)]


class ChannelLayout:
    def __init__(self, size, record, device_type, name, groups, unaddressed,
                 type_data=None, address_table=None):
        self.size = size
        self.record = record
        self.device_type = device_type
        self.name = name
        self.groups = groups
        self.unaddressed = unaddressed
        self.type_data = type_data
        self.address_table = address_table


_OLD = ChannelLayout(11168, 152, 42, 94, 9788, 0, type_data=44, address_table=10396)
CHANNEL_LAYOUTS = {
    0: _OLD,
    1: _OLD,
    2: ChannelLayout(10912, 160, 44, 106, 10300, 0, type_data=56),
    3: ChannelLayout(7072, 100, 43, 45, 6460, 255),
}
INPUTS_SIZES = {2: 9436, 3: 9564}
INPUTS_TABLE_SIZES = {2: 194, 3: 198}

HEADER_SIZE = 60
INPUTS_HEADER_SIZE = 28
INPUT_RECORD = 100
INPUT_TABLES = 3228
GROUP_RECORD = 38
DT8_DATA = 50


def format_for(table, firmware_version):
    fmt = 0
    for version, number in table:
        if version.encode() <= firmware_version.encode():
            fmt = number
    return fmt


def _crc_table():
    table = []
    for byte in range(256):
        crc = byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
        table.append(crc)
    return table


_CRC_TABLE = _crc_table()


def crc16(data):
    """CRC-16/MCRF4XX: reflected 0x1021, start 0xFFFF, no final XOR."""
    crc = 0xFFFF
    for byte in data:
        crc = (crc >> 8) ^ _CRC_TABLE[(crc ^ byte) & 0xFF]
    return crc


def _seal(image, version, revision):
    """Header fields then the checksum over the whole file."""
    struct.pack_into("<IIII", image, 0, len(image), 0, version, revision)
    struct.pack_into("<I", image, 4, crc16(image))
    return bytes(image)


def _put_text(image, offset, text, width):
    raw = text.encode()[:width - 1]
    image[offset:offset + len(raw)] = raw


def channel_file(channel, fmt):
    """A channel with a few addressed devices in four groups."""
    layout = CHANNEL_LAYOUTS[fmt]
    image = bytearray(layout.size)
    image[20:60] = bytes((channel * 17 + i) & 0xFF for i in range(40))
    devices = 4 + 2 * channel
    for i in range(64):
        rec = HEADER_SIZE + i * layout.record
        if i >= devices:
            image[rec + 11] = layout.unaddressed
            if fmt >= 2:
                image[rec + layout.device_type] = 255
                image[rec + layout.device_type + 1] = 255
            continue
        dt = 8 if i % 3 == 2 else 6
        struct.pack_into("<I", image, rec, 0x1)
        image[rec + 5:rec + 12] = bytes([254, 254, 85, 254, 7, 0, 2 * i + 1])
        struct.pack_into("<H", image, rec + 18, 1 << (i % 4))
        image[rec + 20:rec + 36] = bytes([254, 128] + [255] * 14)
        image[rec + layout.device_type] = dt
        if fmt >= 2:
            image[rec + layout.device_type + 1] = 0 if fmt == 3 else 255
        if dt == 8 and layout.type_data is not None:
            start = rec + layout.type_data
            image[start:start + DT8_DATA] = bytes((i + k) & 0xFF for k in range(DT8_DATA))
        _put_text(image, rec + layout.name, "Ch%d Lamp %d" % (channel, i + 1), 33)
        if layout.address_table is not None:
            entry = layout.address_table + 12 * i
            image[entry:entry + 3] = bytes([0x5A, channel, i])
    for g in range(4):
        _put_text(image, layout.groups + g * GROUP_RECORD, "Ch%d Group %d" % (channel, g), 33)
    image[-4:] = b"ZT" + bytes([channel, fmt])
    return _seal(image, max(fmt, 1), 7)


def inputs_file(channel, fmt):
    """A channel with a few input devices; each device's instances share one
    type (1 push button, 3 occupancy, 4 light sensor)."""
    image = bytearray(INPUTS_SIZES[fmt])
    table_size = INPUTS_TABLE_SIZES[fmt]
    slot = {1: 6, 3: 4, 4: 3}
    for j in range(2 + channel):
        rec = INPUTS_HEADER_SIZE + j * INPUT_RECORD
        kind = (1, 3, 4)[j % 3]
        count = 4
        struct.pack_into("<I", image, rec, 0x3)
        image[rec + 8] = 2 * j + 1
        image[rec + 10] = count
        for k in range(count):
            image[rec + 16 + 2 * k:rec + 18 + 2 * k] = bytes([kind, k])
        _put_text(image, rec + 80, "Ch%d Input %d" % (channel, j + 1), 17)
        table = INPUT_TABLES + j * table_size
        width = slot[kind]
        for k in range(count):
            settings = bytes((10 * k + b + 1) & 0xFF for b in range(width))
            at = table + 6 + 6 * k if fmt == 3 else table + width * k
            image[at:at + width] = settings
        if kind == 1:
            image[table + (1 if fmt == 3 else 192)] = 0x21
    return _seal(image, fmt, 3)
