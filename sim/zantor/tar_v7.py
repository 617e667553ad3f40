"""Seventh Edition TAR, as the controller writes and reads it: 512-byte
headers with octal numbers, data padded to 512, two zero blocks at the end."""

BLOCK = 512


class TarError(ValueError):
    pass


def _octal(value):
    return b"%o\0" % value


def header(name, size, mtime=0, mode=0o664, kind=b"0"):
    raw_name = name.encode()
    if len(raw_name) > 99:
        raise TarError("member name too long: %s" % name)
    block = bytearray(BLOCK)
    block[0:len(raw_name)] = raw_name
    for offset, value in ((100, mode), (108, 0), (124, size), (136, mtime)):
        text = _octal(value)
        block[offset:offset + len(text)] = text
    block[156:157] = kind
    checksum = sum(block) + 8 * 0x20
    block[148:156] = b"%06o\0 " % checksum
    return bytes(block)


def pack(members, mtime=0):
    """members: iterable of (name, bytes)."""
    out = bytearray()
    for name, data in members:
        out += header(name, len(data), mtime)
        out += data
        out += bytes(-len(data) % BLOCK)
    out += bytes(2 * BLOCK)
    return bytes(out)


def _number(field):
    text = field.split(b"\0", 1)[0].strip()
    digits = b""
    for ch in text:
        if not 0x30 <= ch <= 0x37:
            break
        digits += bytes([ch])
    return int(digits, 8) if digits else 0


def unpack(data):
    """Regular-file members as (name, bytes); directories are passed over.
    Raises TarError on a damaged header or a member that runs past the end."""
    members = []
    pos = 0
    while True:
        if pos + BLOCK > len(data):
            raise TarError("archive ends without an end marker")
        block = data[pos:pos + BLOCK]
        if block[148] == 0:
            return members
        stored = _number(block[148:156])
        if stored != sum(block[:148]) + sum(block[156:]) + 8 * 0x20:
            raise TarError("bad header checksum at offset %d" % pos)
        name = block[:100].split(b"\0", 1)[0].decode("utf-8", "replace")
        size = _number(block[124:136])
        start = pos + BLOCK
        if start + size > len(data):
            raise TarError("member %s runs past the end" % name)
        if block[156:157] in (b"0", b"\0"):
            members.append((name, data[start:start + size]))
        pos = start + size + (-size % BLOCK)
