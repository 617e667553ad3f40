"""The controller's configuration files: short name and path on the controller."""

_FIXED = [
    ("systemconfig", "/etc/config/system/systemconfig.bin"),
    ("bastimeout", "/etc/config/bastimeout/bastimeout.bin"),
    ("schedules", "/etc/config/schedule/schedule.bin"),
    ("schedulesastro", "/etc/config/schedule/scheduleastro.bin"),
    ("rlc", "/etc/config/rlc/rlc.bin"),
    ("commanders", "/etc/config/cmdr/cmdr.bin"),
]

_NVP = ["system_ui32", "dalv", "daeu", "daeutr", "daeutc", "dacdlcm", "dacdlcr",
        "rlcnamenvp", "cmdrnamenvp"]


def _in(folder, name):
    return (name, "/etc/config/%s/%s.bin" % (folder, name))


def _build():
    entries = list(_FIXED)
    entries += [_in("dali", "dali%d" % c) for c in range(1, 5)]
    entries += [_in("dali", "cd%d" % c) for c in range(1, 5)]
    entries += [_in("nvp", "daincd%d" % c) for c in range(1, 5)]
    entries += [_in("nvp", name) for name in _NVP]
    for kind in ("dt1", "dt8"):
        entries += [_in("dali", "dali_%s_%d_%d" % (kind, c, n))
                    for c in range(1, 5) for n in range(64)]
    entries += [_in("views", "views%d" % n) for n in range(64)]
    return entries


# In the order a backup asks for them.
CONFIG_FILES = _build()
CONFIG_PATHS = dict(CONFIG_FILES)


def channel_path(channel):
    return "/etc/config/dali/dali%d.bin" % channel


def inputs_path(channel):
    return "/etc/config/dali/cd%d.bin" % channel
