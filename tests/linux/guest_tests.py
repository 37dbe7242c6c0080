#!/usr/bin/env python3
"""vexa-linux in Debian's own kernel under QEMU, whose drivers
(intel-lpss-pci, i2c_designware, i2c-dev) drive the simulated board that
vexa-board serves as the LPSS I2C functions at 0:21.f.

One boot per board of the table; its script runs the board's runs in order
against the one board (state carries over, as on a real board). Where a
board has faults, the runs are parted by a pause in which the kernel's
driver lets go of the controller (unbound, so that no polled interrupt
handler reads its registers), for power lost in a run returns after 1 s
without a register access. The same runs of vexa-sim give what the guest
must show, compared by the OVMF tests' own helper: the console text apart
from the seconds in the time line and the lines the Linux I2C layer words
differently (WORDED), the exit codes, the I2C bus trace byte for byte, the
flash. Runs marked `alone` have no vexa-sim counterpart (a kernel driver
bound at the PD controller's address, the adapter named by its device
node): the trace between the marker transactions around them must be
empty when they must send nothing.

With --host-only, only checks on this host that vexa-linux holds no port or
memory access and nothing of the simulated board, and what it says of
device nodes it cannot use (NODE_CASES).

Exit status: 0 all passed, 1 a failure, 77 QEMU or the kernel cannot be had.
"""

import argparse
import dataclasses
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "uefi"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
import firmware_tests  # noqa: E402
import guest_launch  # noqa: E402
import linux_guest  # noqa: E402
import ovmf_shell  # noqa: E402
from firmware_tests import BOARD, INCOMPLETE, POWER_LOSS, TOOL, Board  # noqa: E402

SKIP = 77
SEGMENT = re.compile(rb"VXBEGIN (\S+)\n(.*?)VXEND (\d+)\n", re.S)
# What each I2C layer says in its own words: the DesignWare layer's
# register-level lines (host) and the Linux layer's lines naming the
# kernel's adapter and what the kernel said (guest).
WORDED = (re.compile(r"I2C\d MMIO Address = |I2C\d Device ID = |I2CBlkDataRead -> I2cSentByte Fail!!\(1\)"
                     r"|I2C Device Not Found or Error! |I2C Block Write with Sending command byte error "),
          re.compile(r"I2C\d Adapter = /dev/i2c-\d+ |I2C (Write to|Read from) [0-9A-F]{2} \(\d+ Bytes\) Failed, "
                     r"the Kernel Said "))
KERNEL_REFUSED = "Failed, the Kernel Said EREMOTEIO (Remote I/O error)!"
# A transaction nothing answers, in the bus trace as "W A0: NACK": it parts
# the trace around a run that must send nothing.
MARK = "i2ctransfer -y $BUS w1@0x50 0x4D 2>/dev/null"
MARK_LINE = b"W A0: NACK\n"
NEWLINE = b"\n"
# The kernel's EEPROM driver, bound where the PD controller answers.
BIND_AT24 = "insmod /lib/modules/at24.ko && echo 24c02 0x40 > /sys/bus/i2c/devices/i2c-$BUS/new_device && sleep 0.5"
UNBIND_AT24 = "echo 0x40 > /sys/bus/i2c/devices/i2c-$BUS/delete_device"
REPLAY = "replay"  # a run's args: the trace replay of the board's host runs


@dataclasses.dataclass
class Run(firmware_tests.Run):
    before: str = ""    # guest shell commands before the run
    after: str = ""     # and after it
    alone: bool = False  # no vexa-sim counterpart
    silent: bool = False  # alone, and must put nothing on the bus


BOARDS = [
    # (a) a whole update; (f) the kernel's driver replays vexa-sim's trace of it.
    Board("update", BOARD, [Run("whole_update", TOOL, 0), Run("replay_host_trace", REPLAY, 0,
                                                               "0 failed, 0 differing reads", alone=True)]),
    # (b) channel 2 of another PCH generation; (e) a kernel driver at the PD address,
    # then the adapter named by its device node.
    Board("channel_2", BOARD + ["--pd-channel", "2", "--lpss", "spt-lp"], [
        Run("db_channel_2", TOOL + " /i2c 2 /db", 0, "I2C2 Adapter = /dev/i2c-"),
        Run("driver_bound", TOOL + " /i2c 2", 7, "Is Driven by the Kernel's at24 Driver: Nothing Sent. "
            "Unbind It First: echo ", before=BIND_AT24, after=UNBIND_AT24, alone=True, silent=True),
        Run("device_node", TOOL + " /ov /dev/i2c-$BUS", 0, "FW Version: 1A05", alone=True)]),
    # (c) power lost in the program pass, a plain run, /force.
    Board("power_loss", BOARD, faults=POWER_LOSS, runs=[
        Run("power_lost", TOOL, 7, INCOMPLETE, faulted=True),
        Run("plain_after_loss", TOOL, 7, KERNEL_REFUSED + "\r\nGet_PD_ver I2CBlkDataRead Fail!!"),
        Run("force_after_loss", TOOL + " /force", 0, "Update Success!")]),
    # (d) a program frame refused: the kernel's error fails the run, /force restores.
    Board("frame_refused", BOARD, faults=["--fault", "nack-data=40"], runs=[
        Run("program_refused", TOOL, 7, KERNEL_REFUSED + "\r\n SPI_Program1K -> bI2cMasterWrite() Fail!!",
            faulted=True),
        Run("force_after_refusal", TOOL + " /force", 0, "Update Success!")]),
]

# The driver lets go of the controllers and takes them again, with the
# silence in between.
PAUSE = """pause() {
  names=$(cd /sys/bus/platform/drivers/i2c_designware && ls -d i2c_designware.*)
  for name in $names; do echo $name > /sys/bus/platform/drivers/i2c_designware/unbind; done
  sleep 1.5
  for name in $names; do echo $name > /sys/bus/platform/drivers/i2c_designware/bind; done
  tries=0; while [ ! -e /dev/i2c-$BUS ] && [ $tries -lt 50 ]; do sleep 0.1; tries=$((tries + 1)); done
  find_bus
}
"""
# The adapter of the PD controller's channel, for the shell's own transfers.
FIND_BUS = """find_bus() {
  for adapter in /sys/bus/i2c/devices/i2c-*; do
    case $(readlink -f $adapter) in */0000:00:15.$CHANNEL/*) BUS=${adapter##*-};; esac
  done
}
"""


def channel_of(board):
    options = board.options
    return int(options[options.index("--pd-channel") + 1]) if "--pd-channel" in options else 0


def guest_script(board):
    lines = ["#!/bin/sh", f"CHANNEL={channel_of(board)}", FIND_BUS, PAUSE, "find_bus"]
    for index, run in enumerate(board.runs):
        if index and board.faults:
            lines.append("pause")
        if run.silent:
            lines.append(MARK)
        if run.before:
            lines.append(run.before)
        if run.silent:
            lines.append(MARK)
        command = (f"/work/vexa-trace-replay /dev/i2c-$BUS host-bus.txt" if run.args == REPLAY
                   else f"vexa-linux {run.args}")
        lines += [f"echo VXBEGIN {run.name}", f"{command} > /tmp/out 2>&1", "status=$?", "cat /tmp/out",
                  "echo VXEND $status"]
        if run.silent:
            lines.append(MARK)
        if run.after:
            lines.append(run.after)
    return "\n".join(lines) + "\n"


def check_trace(board, trace, host_trace, replayed):
    """The guest's trace: the host runs' (twice with a replay) up to the first
    marker (the host runs come first in the table), and around each silent
    run two marker transactions with nothing between them."""
    parts = trace.split(MARK_LINE)
    problems = []
    expected = host_trace * (2 if replayed else 1)
    silent = [run for run in board.runs if run.silent]
    ahead = parts[0]
    if silent:
        if len(parts) != 3 * len(silent) + 1:
            return [f"the trace holds {len(parts) - 1} marker transactions, expected {3 * len(silent)}"]
        for index, run in enumerate(silent):
            sent = parts[3 * index + 2]
            if sent:
                problems.append(f"{run.name}: the run put {sent.count(NEWLINE)} transactions on the bus")
    if ahead != expected or not ahead:
        problems.append(f"the I2C bus traces differ (guest {ahead.count(NEWLINE)} lines, host "
                        f"{expected.count(NEWLINE)})")
    return problems


def run_board(board, args, kernel, busybox, image, work):
    host_board = dataclasses.replace(board, runs=[run for run in board.runs if not run.alone])
    host = firmware_tests.host_runs(host_board, args, work, args.image, [])
    with open(os.path.join(work, "host-bus.txt"), "rb") as lines:
        host_trace = lines.read()
    files = {"fw.bin": args.image, "host-bus.txt": os.path.join(work, "host-bus.txt"),
             "vexa-trace-replay": args.replay, "guest.sh": guest_script(board).encode()}
    initrd = os.path.join(work, "initrd.cpio")
    linux_guest.make_initramfs(initrd, kernel, busybox, args.vexa_linux, files, "guest.sh")
    flash, trace = os.path.join(work, "flash.bin"), os.path.join(work, "bus.txt")
    for path in (flash, trace):
        if os.path.exists(path):
            os.remove(path)
    command = linux_guest.qemu_command(args.qemu, linux_guest.kernel_image(kernel), initrd)
    options = board.options + board.faults + ["--flash", flash, "--trace", trace]
    raw, failure = guest_launch.served_boot(args.vexa_board, options, command, work, args.timeout)
    problems = [failure] if failure else []
    output, _ = linux_guest.script_output(raw)
    segments = {m.group(1).decode(): (m.group(2).decode("latin-1"), int(m.group(3)))
                for m in SEGMENT.finditer(output.encode("latin-1"))}
    for run in board.runs:
        if run.name not in segments:
            problems.append(f"{run.name}: no output between its markers")
            continue
        text, status = segments[run.name]
        if status != run.status:
            problems.append(f"{run.name}: exit status {status}, expected {run.status}")
        if run.shows not in text:
            problems.append(f"{run.name}: the console lacks {run.shows!r}: {text!r}")
        if not run.alone:
            host_text, host_status = host[run.name][0].decode("latin-1"), host[run.name][1]
            if host_status != run.status:
                problems.append(f"{run.name}: vexa-sim's exit status {host_status}, expected {run.status}")
            problems += [f"{run.name}: {p}" for p in firmware_tests.compare(text, host_text, WORDED)]
    if os.path.exists(trace):
        with open(trace, "rb") as lines:
            problems += check_trace(board, lines.read(), host_trace, any(r.args == REPLAY for r in board.runs))
    else:
        problems.append("the board wrote no bus trace")
    if os.path.exists(flash):
        with open(flash, "rb") as data, open(os.path.join(work, "host-flash.bin"), "rb") as host_data:
            if data.read() != host_data.read():
                problems.append("the flash differs from vexa-sim's")
    return problems


def check_symbols(program):
    """Names in vexa-linux that would mean port or memory access or the simulated board."""
    nm = shutil.which("nm")
    if nm is None:
        return ["nm (package binutils) missing"]
    names = subprocess.run([nm, "-C", program], stdout=subprocess.PIPE, check=True).stdout.decode()
    forbidden = re.compile(r"Platform(Port|Mmio)|sim::|I2cRead32|I2cWrite32|PciConfig")
    found = sorted({line.split()[-1] for line in names.splitlines() if forbidden.search(line)})
    if "ToolMain" not in names:
        return ["vexa-linux holds no ToolMain: not the tool"]
    return [f"vexa-linux holds {name}" for name in found]


# Device nodes vexa-linux cannot use, and what it must say (exit 0x7, the
# node's line; nothing reaches a bus). `as_user`: run without root, on a
# node only root may open (the first of ROOT_ONLY there is).
ROOT_ONLY = ("/dev/mem", "/dev/console")
NODE_CASES = [
    ("/dev/i2c-250", False, "I2C Device Node /dev/i2c-250 Not There: Load i2c-dev (modprobe i2c-dev)!!"),
    ("/dev/null", False, "I2C Device Node /dev/null Is Not an I2C Adapter!!"),
    (ROOT_ONLY, True, "I2C Device Node {} Needs Root: Run as Root (sudo)!!"),
]


def check_nodes(program):
    """vexa-linux on this host against the device nodes of NODE_CASES."""
    problems = []
    for node, as_user, says in NODE_CASES:
        if isinstance(node, tuple):
            node = next((path for path in node if os.path.exists(path)), None)
            if node is None:
                print(f"not checked, none of {', '.join(ROOT_ONLY)} here: {says}")
                continue
            says = says.format(node)
        prefix = []
        if as_user and os.geteuid() == 0:
            setpriv = shutil.which("setpriv")
            if setpriv is None:
                print(f"{node}: not checked, no setpriv to leave root")
                continue
            prefix = [setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"]
        done = subprocess.run(prefix + [program, "/ov", node], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        lines = [line for line in done.stdout.decode("latin-1").split("\r\n") if line]
        if done.returncode != 7 or says not in lines:
            problems.append(f"{node}: exit {done.returncode}, console {done.stdout!r}, expected 7 and {says!r}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--vexa-linux", "--vexa-board", "--vexa-sim", "--replay", "--work", "--cache"):
        parser.add_argument(name, required=True)
    parser.add_argument("--board", action="append", help="only this board of the table (may repeat)")
    parser.add_argument("--timeout", type=float, default=240, help="seconds per boot")
    parser.add_argument("--host-only", action="store_true")
    args = parser.parse_args()
    for name in ("vexa_linux", "vexa_board", "vexa_sim", "replay", "work", "cache"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    problems = check_symbols(args.vexa_linux) + check_nodes(args.vexa_linux)
    for problem in problems:
        print(f"FAIL program: {problem}")
    if args.host_only:
        print("vexa-linux holds no port or memory access and refuses unusable nodes" if not problems else "")
        return 1 if problems else 0

    missing = linux_guest.missing_tools()
    if missing:
        print("Linux guest tests skipped, missing: " + ", ".join(missing) + f" ({linux_guest.PACKAGES})")
        return SKIP
    try:
        kernel = linux_guest.kernel_package(args.cache)
        busybox = linux_guest.busybox(args.cache)
    except linux_guest.GuestError as problem:
        print(f"Linux guest tests skipped: {problem}")
        return SKIP
    args.qemu = ovmf_shell.find_tool("qemu-system-x86_64")
    os.makedirs(args.work, exist_ok=True)
    args.image = os.path.join(args.work, "fw.bin")
    subprocess.run([os.path.join(os.path.dirname(args.vexa_sim), "vexa-mkimage"), args.image,
                    str(firmware_tests.IMAGE_SIZE)], check=True, stdout=subprocess.DEVNULL)
    with open(args.image, "rb") as source:
        image = source.read()
    failed = int(bool(problems))
    for board in BOARDS:
        if args.board and board.name not in args.board:
            continue
        work = os.path.join(args.work, board.name)
        os.makedirs(work, exist_ok=True)
        started = time.monotonic()
        problems = run_board(board, args, kernel, busybox, image, work)
        for problem in problems:
            print(f"FAIL {board.name}: {problem}")
        if not problems:
            print(f"PASS {board.name} ({time.monotonic() - started:.1f} s): "
                  + ", ".join(run.name for run in board.runs))
        failed += bool(problems)
    print("all Linux guest boards passed" if failed == 0 else f"{failed} Linux guest board(s) failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
