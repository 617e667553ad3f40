#!/usr/bin/env python3
"""Times the utility's TFTP client against Debian's atftp client on the same
simulated controller, in the same run: a 2 MiB flash read ("flashfs.bin")
and an 8 MiB upload ("flashraw.bin"), both with 128-byte blocks. Rounds are
paired (the two clients one right after the other, their order switching
each round) and the medians compared; goal: the utility's median at most
0.9 x atftp's. Also reports the system calls each client makes per block
(strace -c, one extra run each) and the simulator's own CPU time per block,
the floor below which no lock-step client on loopback can go.

Usage: bench/tftp_transfer.py [BUILD_DIR] [ROUNDS]   (defaults: build, 11)
Exit status 0 when both goals are met."""

import hashlib
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BLOCK = 128
READ_SIZE = 2 * 1024 * 1024
UPLOAD_SIZE = 8 * 1024 * 1024
GOAL = 0.9
TICKS = os.sysconf("SC_CLK_TCK")


class Simulator:
    def __init__(self, log_path):
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "sim", "zantor_sim.py"), "--request-log", log_path],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = int(self.proc.stdout.readline())

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICKS

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


def run(argv):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   stdin=subprocess.DEVNULL, timeout=600)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(argv, sim, sim_cpu, client_cpu):
    before, client_before = sim.cpu_seconds(), children_cpu()
    start = time.perf_counter()
    run(argv)
    elapsed = time.perf_counter() - start
    sim_cpu.append(sim.cpu_seconds() - before)
    client_cpu.append(children_cpu() - client_before)
    return elapsed


def syscalls(argv, folder):
    trace = os.path.join(folder, "strace.txt")
    run(["strace", "-f", "-c", "-o", trace] + argv)
    with open(trace) as f:
        total = [line for line in f if line.strip().endswith("total")]
    return int(total[0].split()[3]) if total else 0


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def compare(name, ours, theirs, blocks, rounds, sim, folder):
    """Paired rounds of two commands; returns the ratio of the medians."""
    times = {"ours": [], "atftp": []}
    cpu = {"ours": [], "atftp": []}
    sim_cpu = []
    for i in range(rounds):
        pair = [("ours", ours), ("atftp", theirs)]
        for label, argv in (pair if i % 2 == 0 else pair[::-1]):
            times[label].append(timed(argv, sim, sim_cpu, cpu[label]))
    median_ours = statistics.median(times["ours"])
    median_atftp = statistics.median(times["atftp"])
    ratio = median_ours / median_atftp
    print("%s, %d blocks of %d bytes, %d paired rounds:" % (name, blocks, BLOCK, rounds))
    for label, median in (("kelpu-cli", median_ours), ("atftp", median_atftp)):
        key = "ours" if label == "kelpu-cli" else "atftp"
        print("  %-11s median %.3f s (%.1f us per block; own CPU %.1f us per block)"
              % (label, median, median / blocks * 1e6, statistics.median(cpu[key]) / blocks * 1e6))
    print("  ratio       %.2f (goal <= %.1f)" % (ratio, GOAL))
    print("  simulator   %.1f us CPU per block" % (statistics.median(sim_cpu) / blocks * 1e6))
    if subprocess.run(["which", "strace"], capture_output=True).returncode == 0:
        print("  system calls per block: kelpu-cli %.2f, atftp %.2f"
              % (syscalls(ours, folder) / blocks, syscalls(theirs, folder) / blocks))
    return ratio


def main(argv):
    build = argv[1] if len(argv) > 1 else os.path.join(ROOT, "build")
    rounds = int(argv[2]) if len(argv) > 2 else 11
    cli = os.path.join(build, "src", "cli", "kelpu-cli")
    upload = os.path.join(build, "bench", "tftp_upload_bench")
    with tempfile.TemporaryDirectory() as folder:
        log = os.path.join(folder, "requests.jsonl")
        sim = Simulator(log)
        address = "127.0.0.1:%d" % sim.port
        atftp = ["atftp", "--option", "blksize %d" % BLOCK]
        try:
            read_ratio = compare(
                "2 MiB flash read",
                [cli, "--action=read_file_flashfs", "--ip=" + address, "--backupfileout=" + folder,
                 "--backupfileouttype=raw"],
                atftp + ["--get", "-r", "flashfs.bin", "-l", os.path.join(folder, "atftp.bin"),
                         "127.0.0.1", str(sim.port)],
                READ_SIZE // BLOCK + 1, rounds, sim, folder)
            if digest(os.path.join(folder, "flashfs.bin")) != digest(os.path.join(folder, "atftp.bin")):
                sys.exit("the two reads differ")

            image = os.path.join(folder, "image.bin")
            with open(image, "wb") as f:
                f.write(hashlib.shake_256(b"bench").digest(UPLOAD_SIZE))
            upload_ratio = compare(
                "8 MiB upload",
                [upload, image, address],
                atftp + ["--put", "-r", "flashraw.bin", "-l", image, "127.0.0.1", str(sim.port)],
                UPLOAD_SIZE // BLOCK + 1, rounds, sim, folder)
            with open(log) as f:
                uploads = [line for line in f if '"kind": "WRQ"' in line]
            if not uploads or any('"outcome": "ok"' not in line or digest(image) not in line for line in uploads):
                sys.exit("an upload did not arrive whole")
        finally:
            sim.stop()
    return 0 if read_ratio <= GOAL and upload_ratio <= GOAL else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
