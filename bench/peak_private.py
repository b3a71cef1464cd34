#!/usr/bin/env python3
"""Runs a command and reports its wall time and the peak private memory of the
processes whose command line names a program: peak_private.py NAME -- COMMAND...

Private memory is what Windows would count as the process's own: its anonymous pages
("Anonymous:" of /proc/PID/smaps_rollup), the heap and the dictionary. A file the loader
maps from disk and only reads is not among them; a section it had to copy is.
Prints "SECONDS PEAK_KIB STATUS"."""
import os
import subprocess
import sys
import time

name = sys.argv[1].lower()
command = sys.argv[sys.argv.index("--") + 1:]


def private_kib():
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read().decode("utf-8", "replace").lower()
            if name not in cmdline or "peak_private" in cmdline:
                continue
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Anonymous:"):
                        total += int(line.split()[1])
        except OSError:
            continue
    return total


start = time.monotonic()
process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
peak = 0
while process.poll() is None:
    peak = max(peak, private_kib())
    time.sleep(0.02)
seconds = time.monotonic() - start
print(f"{seconds:.2f} {peak} {process.returncode}")
