#!/usr/bin/env python3
"""Times a 2 MiB TFTP read of "flashfs.bin" with 128-byte blocks, once by
kelpu-cli (read_file_flashfs) and once by Debian's atftp client, against the
same simulated controller, and prints both times and their ratio.

Usage: bench/tftp_read.py [BUILD_DIR] [ROUNDS]   (defaults: build, 3)"""

import hashlib
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def start_simulator():
    sim = subprocess.Popen([sys.executable, os.path.join(ROOT, "sim", "zantor_sim.py")],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    port = int(sim.stdout.readline())
    return sim, port


def timed(argv):
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   stdin=subprocess.DEVNULL, timeout=300)
    return time.perf_counter() - start


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main(argv):
    build = argv[1] if len(argv) > 1 else os.path.join(ROOT, "build")
    rounds = int(argv[2]) if len(argv) > 2 else 3
    cli = os.path.join(build, "src", "cli", "kelpu-cli")
    sim, port = start_simulator()
    try:
        with tempfile.TemporaryDirectory() as out:
            ours = os.path.join(out, "flashfs.bin")
            theirs = os.path.join(out, "atftp.bin")
            cli_times, atftp_times = [], []
            for _ in range(rounds):
                cli_times.append(timed([cli, "--action=read_file_flashfs", "--ip=127.0.0.1:%d" % port,
                                        "--backupfileout=" + out, "--backupfileouttype=raw"]))
                atftp_times.append(timed(["atftp", "--option", "blksize 128", "--get",
                                          "-r", "flashfs.bin", "-l", theirs, "127.0.0.1", str(port)]))
            if digest(ours) != digest(theirs) or os.path.getsize(ours) != 2 * 1024 * 1024:
                sys.exit("the two reads differ")
    finally:
        sim.terminate()
        sim.wait()
    best_cli, best_atftp = min(cli_times), min(atftp_times)
    print("kelpu-cli read_file_flashfs: %.3f s (best of %d)" % (best_cli, rounds))
    print("atftp --get, blksize 128:    %.3f s (best of %d)" % (best_atftp, rounds))
    print("ratio kelpu-cli / atftp:     %.2f" % (best_cli / best_atftp))


if __name__ == "__main__":
    main(sys.argv)
