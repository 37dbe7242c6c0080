#!/usr/bin/env python3
"""VEXA.efi doing whole updates in OVMF against the simulated board, which
vexa-board serves to QEMU as the LPSS I2C functions at 0:21.f.

One QEMU boot per board of the table; its startup.nsh runs the board's tool
runs in order against the one board (state carries over, as on a real
board) with a pause between them (power lost in a run returns after 1 s
without a register access). The same runs of the host build (vexa-sim,
one process per run, sharing the flash file) give what the firmware run
must show: the same console text apart from the seconds in the time line,
the same exit codes, the same I2C bus trace byte for byte, the same flash.

The factory boards boot the USB stick's startup.nsh from the bundle as it
is shipped, through scripts/run-firmware, with serial numbers given to
QEMU's SMBIOS tables; the board record the script kept on the disk must
hold one line per attempt, each field as the board was given it and as the
attempt ended, and the same lines (apart from the date and the seconds) as
the same attempts of vexa-sim given the same SMBIOS words.

Exit status: 0 all passed, 1 a failure, 77 QEMU, OVMF or mtools missing.
"""

import argparse
import csv
import dataclasses
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import ovmf_shell  # noqa: E402

SKIP = 77
SEGMENT = re.compile(rb"VXBEGIN (\S+)\r\n(.*?)VXEND (0x[0-9A-Fa-f]+)\r\n", re.S)
TIME_LINE = re.compile(r"Time Consuming: \d+ sec\.")
MMIO_LINE = re.compile(r"I2C(\d) MMIO Address = 0x([0-9A-F]+)")
IMAGE_SIZE = 16 * 1024
# A short chip erase: the tool's first erase-busy poll finds it done, in
# firmware as on the host, so the bus traces can match byte for byte.
BOARD = ["--chip", "52300008", "--erase-time", "1"]
TOOL = "fw.bin /id 5230"
# The PD controller's 40th write transaction falls in the program pass.
POWER_LOSS = ["--fault", "power-loss=40"]
INCOMPLETE = "PD FW Incomplete!"
# The read-outs on a 32 KB flash: each reads it twice, 512 data reads a time.
SMALL_BOARD = ["--chip", "88530100", "--erase-time", "1"]
SMALL_TOOL = "fw.bin /id 8853"
RUN_FIRMWARE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "run-firmware")
# What QEMU's SMBIOS tables and the simulated board's say of the board.
SMBIOS = ["type=1,manufacturer=VEXA Line,product=Board,, Rev 2,serial=VX-LINE-0042,"
          "uuid=0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
          "type=2,manufacturer=VEXA Line,product=MB-1,serial=VX-MB-0007"]
# The fields of a record line that every factory attempt shares unless its
# own expectation says otherwise.
RECORD_COMMON = {
    "tool_version": "1.0.0.b3", "system_manufacturer": "VEXA Line", "system_product": "Board, Rev 2",
    "system_serial": "VX-LINE-0042", "system_uuid": "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9",
    "board_product": "MB-1", "board_serial": "VX-MB-0007", "platform": "intel", "i2c_channel": "0",
    "slave_address": "0x80", "chip_id": "5230", "version_before": "1A05", "image": "fw.bin",
    "image_bytes": str(IMAGE_SIZE), "force": "no", "failed_step": "none", "exit_code": "0",
    "result": "PASS", "version_after": "1A05",
}
FAILED = {"exit_code": "7", "result": "FAIL", "version_after": "none"}
FORCED_ON_BLANK = {"version_before": "none", "force": "yes"}
# The bundle's two VEXA lines: the attempt, and the forced one after 0x7.
FACTORY_ATTEMPTS = ("/log VEXALOG.CSV fw.bin /id 5230", "/log VEXALOG.CSV fw.bin /id 5230 /force")


@dataclasses.dataclass
class Run:
    name: str
    args: str          # the tool's arguments, in the Shell and for vexa-sim
    status: int
    shows: str = ""    # a text the console must hold
    faulted: bool = False  # the board's faults reach the host run too


@dataclasses.dataclass
class Board:
    name: str
    options: list
    runs: list = dataclasses.field(default_factory=list)
    faults: list = dataclasses.field(default_factory=list)
    flash: bytes = None         # the flash at power-on; None: a signed factory image
    factory: bool = False       # runs the bundle's startup.nsh instead of tool runs
    verdict: str = ""           # factory: the PASS/FAIL line's start
    log_shows: tuple = ()       # factory: texts the log on the stick must hold
    files: tuple = ()           # files the runs write on the disk, each compared with the host run's
    restored: str = ""          # the file the flash holds at the end (padded with FF); "": the image
    dumped: str = ""            # a file that holds the flash as the update with the image left it
    records: tuple = ()         # factory: per attempt, the record fields that differ from RECORD_COMMON

    def group(self):
        """The share of the table one test run boots (--group)."""
        return "factory" if self.factory else "readout" if self.files else "updates"


GROUPS = ("updates", "readout", "factory")


def unsigned(image):
    """The image as an update cut short before its signature leaves it."""
    return image[:0x40] + b"\xff" * 16 + image[0x50:]


BOARDS = [
    Board("update", BOARD, [Run("whole_update", TOOL, 0), Run("whole_update_v", TOOL + " /v", 0)]),
    Board("channel_2", BOARD + ["--pd-channel", "2", "--lpss", "adl-p"],
          [Run("db_channel_2", TOOL + " /i2c 2 /db", 0,
               "I2C2 Device ID = 51EA, Input Clock = 133 MHz, Bus Rate = 388.9 kHz")]),
    Board("power_loss", BOARD, faults=POWER_LOSS, runs=[
        Run("power_lost", TOOL, 7, INCOMPLETE, faulted=True),
        Run("plain_after_loss", TOOL, 7, "I2cSentByte Fail!!(1)\r\nGet_PD_ver I2CBlkDataRead Fail!!"),
        Run("force_after_loss", TOOL + " /force", 0, "Update Success!")]),
    # The factory firmware is not fw.bin; an update backs it up, the dump and
    # the check find fw.bin, and the backup puts the factory firmware back.
    Board("readout", SMALL_BOARD, [
        Run("check_differs", SMALL_TOOL + " /check", 3, "Check Differs! First difference at Index[00]"),
        Run("backup_update", SMALL_TOOL + " /backup back.bin", 0, "Backup Saved: back.bin, "),
        Run("dump", "/dump dump.bin /id 8853", 0, "Dump Success! dump.bin holds the 32 KBytes of the flash."),
        Run("check_match", SMALL_TOOL + " /check", 0, "Check Match! The flash holds fw.bin"),
        Run("restore", "back.bin /id 8853", 0, "Update Success!")],
        files=("back.bin", "dump.bin"), restored="back.bin", dumped="dump.bin"),
    Board("factory_good", BOARD, factory=True, verdict="PASS",
          log_shows=("FW Version: 1A05", "Update Success!", "VEXA exit status 0x0"), records=({},)),
    Board("factory_blank", BOARD, factory=True, flash="unsigned", verdict="PASS",
          log_shows=("Get_PD_ver I2CBlkDataRead Fail!!", "/force", "Update Success!", "VEXA exit status 0x0"),
          records=(dict(FAILED, chip_id="none", version_before="none", failed_step="version-before"),
                   FORCED_ON_BLANK)),
    # A flash byte that reads back wrong: the verify fails, and the image
    # stays unsigned, so the forced attempt finds no firmware and fails alike.
    Board("factory_failing", BOARD, faults=["--fault", "flip=0x1000"], factory=True, verdict="FAIL",
          log_shows=("Verify Fail!", "VEXA exit status 0x7"),
          records=(dict(FAILED, failed_step="verify"),
                   dict(FAILED, **FORCED_ON_BLANK, failed_step="verify"))),
    # The refused chip's CPU stays stopped after the first attempt, so the
    # forced one finds no version.
    Board("factory_wrong_chip", ["--chip", "58310008", "--erase-time", "1"], factory=True, verdict="FAIL",
          log_shows=("Chip ID found: OV5831, expected: OV5230 (/id)", "VEXA exit status 0x7"),
          records=(dict(FAILED, chip_id="5831", failed_step="chip-id"),
                   dict(FAILED, **FORCED_ON_BLANK, chip_id="5831", failed_step="chip-id"))),
]


# ---- The comparison --------------------------------------------------------------


def as_serial_text(host_stdout):
    """The host console's UTF-8 as OVMF's serial terminal sends it: the
    progress bar's full block is the CP437 byte 0xDB."""
    return host_stdout.decode("utf-8").replace("\u2588", "\xdb")


def compare(firmware, host, worded=None):
    """Differences between two console texts, the time line's seconds apart.
    `worded`: (host pattern, firmware pattern) of what each side words its
    own way: from a match through the line's end, which is left out, so
    that what follows continues the line."""
    if worded:
        host, firmware = (re.sub(f"(?:{pattern.pattern})[^\r\n]*\r\n", "", text)
                          for pattern, text in zip(worded, (host, firmware)))
    want, got = (TIME_LINE.sub("Time Consuming: # sec.", text).split("\r\n") for text in (host, firmware))
    for number, (w, g) in enumerate(zip(want, got), 1):
        if w != g:
            return [f"console line {number}: host {w!r}, firmware {g!r}"]
    if len(want) != len(got):
        return [f"console: host {len(want)} lines, firmware {len(got)}"]
    return []


def host_runs(board, args, work, image_path, bar0):
    """Each run of the board on vexa-sim in turn: (stdout, status) by name;
    the bus traces, concatenated, and the flash end up in work."""
    flash = os.path.join(work, "host-flash.bin")
    trace = os.path.join(work, "host-bus.txt")
    for path in (flash, trace):
        if os.path.exists(path):
            os.remove(path)
    if board.flash is not None:
        shutil.copyfile(os.path.join(work, "board-flash.bin"), flash)
    results = {}
    with open(trace, "wb") as whole:
        for run in board.runs:
            part = os.path.join(work, f"host-bus-{run.name}.txt")
            command = [args.vexa_sim] + board.options + (board.faults if run.faulted else []) + bar0 + [
                "--flash", flash, "--trace", part, "--"] + run.args.split()
            done = subprocess.run(command, cwd=os.path.dirname(image_path), stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
            results[run.name] = (done.stdout, done.returncode)
            with open(part, "rb") as lines:
                whole.write(lines.read())
    return results


# ---- The boot ------------------------------------------------------------------


def startup_lines(board):
    lines = ["@echo -off", "fs0:", "cd \\"]
    for index, run in enumerate(board.runs):
        if index:
            lines.append("stall 1500000")  # silence: lost power returns
        lines += [f"echo VXBEGIN {run.name}", "VEXA.efi " + run.args, "echo VXEND %lasterror%"]
    return lines + ["reset -s"]


def boot_board(board, args, tools, image, work):
    """Boots the board; returns (segments by name, failures)."""
    disk = os.path.join(work, "disk.img")
    files = {"VEXA.efi": args.efi, "fw.bin": image, "startup.nsh": ovmf_shell.shell_script(startup_lines(board))}
    ovmf_shell.make_disk(disk, files, tools)
    flash = os.path.join(work, "flash.bin")
    if os.path.exists(flash):
        os.remove(flash)
    if board.flash is not None:
        with open(flash, "wb") as out:
            out.write(unsigned(image))
        shutil.copyfile(flash, os.path.join(work, "board-flash.bin"))
    options = board.options + board.faults + ["--flash", flash, "--trace", os.path.join(work, "bus.txt")]
    try:
        served = ovmf_shell.ServedBoard(args.vexa_board, options, os.path.join(work, "board.stderr"))
    except ovmf_shell.BoardError as error:
        return {}, [str(error)], disk
    vars_copy = os.path.join(work, "vars.fd")
    shutil.copyfile(args.ovmf_vars, vars_copy)
    command = ovmf_shell.qemu_command(tools["qemu"], disk, vars_copy, args.ovmf_code)
    command += served.qemu_args
    raw, failure = ovmf_shell.boot(command, os.path.join(work, "serial.log"), os.path.join(work, "qemu.stderr"),
                                   args.timeout, pass_fds=served.qemu_fds)
    status, complaint = served.finish()
    problems = [failure] if failure else []
    if status != 0:
        problems.append(f"vexa-board ended with {status}: {complaint}")
    segments = {m.group(1).decode(): (ovmf_shell.strip_escapes(m.group(2)), int(m.group(3), 16))
                for m in SEGMENT.finditer(raw)}
    return segments, problems, disk


def check_updates(board, args, segments, work, image, image_path, disk, tools):
    problems = []
    bar0 = []
    for run in board.runs:
        for channel, address in MMIO_LINE.findall(segments.get(run.name, ("", 0))[0]):
            bar0 = ["--bar0", f"{channel}={int(address, 16):08X}"]
    host = host_runs(board, args, work, image_path, bar0)
    for run in board.runs:
        if run.name not in segments:
            problems.append(f"{run.name}: no output between its markers")
            continue
        text, status = segments[run.name]
        host_text, host_status = as_serial_text(host[run.name][0]), host[run.name][1]
        if status != run.status or host_status != run.status:
            problems.append(f"{run.name}: exit status firmware 0x{status:X}, host 0x{host_status:X}, "
                            f"expected 0x{run.status:X}")
        if run.shows not in text:
            problems.append(f"{run.name}: the console lacks {run.shows!r}")
        problems += [f"{run.name}: {p}" for p in compare(text, host_text)]
    with open(os.path.join(work, "bus.txt"), "rb") as a, open(os.path.join(work, "host-bus.txt"), "rb") as b:
        firmware_trace, host_trace = a.read(), b.read()
    if firmware_trace != host_trace or not firmware_trace:
        lines = [trace.count(b"\n") for trace in (firmware_trace, host_trace)]
        problems.append(f"the I2C bus traces differ (firmware {lines[0]} lines, host {lines[1]}): "
                        f"{work}/bus.txt, {work}/host-bus.txt")
    for name in board.files:
        written = ovmf_shell.read_disk_file(disk, name, os.path.join(work, "disk-" + name), tools)
        with open(os.path.join(os.path.dirname(image_path), name), "rb") as host_file:
            if written is None or written != host_file.read():
                problems.append(f"{name} on the disk is not the host run's {name}")
    held = image
    if board.restored:
        with open(os.path.join(work, "disk-" + board.restored), "rb") as restored:
            held = restored.read()
    with open(os.path.join(work, "flash.bin"), "rb") as a:
        flash = a.read()
    if board.dumped:
        with open(os.path.join(work, "disk-" + board.dumped), "rb") as dumped:
            if dumped.read() != image + b"\xff" * (len(flash) - len(image)):
                problems.append(f"{board.dumped} does not hold the flash the update left")
    if flash[:len(held)] != held or flash[len(held):].strip(b"\xff"):
        problems.append(f"the flash does not hold exactly {board.restored or 'the image with its signature'}")
    return problems


def read_record(path):
    """The record's lines as dicts by column; None when there is no file."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as record:
        return list(csv.DictReader(io.StringIO(record.read().decode("ascii"))))


def host_factory_record(board, args, work, flash_image):
    """The bundle's attempts on vexa-sim: the second, forced one only after
    exit status 7, as the script does, on the same board (--rerun), so that
    the first one's leavings carry over as on the served board."""
    host = os.path.join(work, "host")
    smbios = [word for text in SMBIOS for word in ("--smbios", text)]

    def attempts(lines):
        shutil.rmtree(host, ignore_errors=True)
        os.makedirs(host)
        shutil.copyfile(os.path.join(args.work, "fw.bin"), os.path.join(host, "fw.bin"))
        if flash_image is not None:
            with open(os.path.join(host, "flash.bin"), "wb") as out:
                out.write(flash_image)
        reruns = [word for line in lines[1:] for word in ("--rerun", line)]
        return subprocess.run([args.vexa_sim] + board.options + board.faults + smbios + reruns +
                              ["--flash", "flash.bin", "--"] + lines[0].split(), cwd=host,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    if attempts(FACTORY_ATTEMPTS[:1]) == 7:
        attempts(FACTORY_ATTEMPTS)
    return read_record(os.path.join(host, "VEXALOG.CSV"))


def run_factory(board, args, image, work):
    """The bundle's startup.nsh as shipped, through scripts/run-firmware;
    the record it left on the disk, field by field."""
    if not os.path.exists(args.bundle):
        return [f"no {args.bundle}: build the vexa_bundle target first"]
    with zipfile.ZipFile(args.bundle) as bundle:
        script, shipped_efi = bundle.read("startup.nsh"), bundle.read("VEXA.efi")
    with open(args.efi, "rb") as efi:
        if efi.read() != shipped_efi:
            return [f"the bundle's VEXA.efi is not {args.efi}: rebuild the vexa_bundle target"]
    script_path = os.path.join(work, "startup.nsh")
    with open(script_path, "wb") as out:
        out.write(script)
    for name in ("VEXALOG.CSV", "VEXALOG.TXT"):
        if os.path.exists(os.path.join(work, name)):
            os.remove(os.path.join(work, name))
    flash = os.path.join(work, "flash.bin")
    if os.path.exists(flash):
        os.remove(flash)
    flash_image = unsigned(image) if board.flash is not None else None
    if flash_image is not None:
        with open(flash, "wb") as out:
            out.write(flash_image)
    command = [sys.executable, RUN_FIRMWARE, "--build", os.path.dirname(os.path.abspath(args.efi)),
               "--timeout", str(args.timeout), "--fetch", "VEXALOG.CSV", "--fetch", "VEXALOG.TXT"]
    for text in SMBIOS:
        command += ["--smbios", text]
    command += board.options + board.faults + ["--flash", flash, "--", os.path.join(args.work, "fw.bin"),
                                               "--nsh", script_path]
    done = subprocess.run(command, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    screen = done.stdout.decode("utf-8", errors="replace")
    problems = []
    if done.returncode != 0:
        problems.append(f"run-firmware ended with {done.returncode}: {done.stderr.decode(errors='replace')}")
    verdicts = [line for line in screen.splitlines() if line.startswith(("PASS", "FAIL"))]
    if len(verdicts) != 1 or not verdicts[0].startswith(board.verdict):
        problems.append(f"expected one {board.verdict} line on the screen: {screen!r}")
    elif board.verdict == "FAIL" and ("Do not power the board off" not in verdicts[0]
                                      or "startup.nsh" not in verdicts[0]):
        problems.append(f"the FAIL line says neither to keep the power nor how to run again: {verdicts[0]!r}")
    log_path = os.path.join(work, "VEXALOG.TXT")
    log = open(log_path, "rb").read().decode("latin-1") if os.path.exists(log_path) else ""
    problems += [f"VEXALOG.TXT lacks {want!r}" for want in board.log_shows if want not in log]

    record = read_record(os.path.join(work, "VEXALOG.CSV"))
    if record is None:
        return problems + ["no VEXALOG.CSV on the disk"]
    if len(record) != len(board.records):
        problems.append(f"VEXALOG.CSV holds {len(record)} lines, expected one per attempt ({len(board.records)})")
    sha256 = hashlib.sha256(image).hexdigest()
    for number, (line, own) in enumerate(zip(record, board.records), 1):
        want = dict(RECORD_COMMON, image_sha256=sha256, **own)
        problems += [f"record line {number}: {field} is {line.get(field)!r}, expected {value!r}"
                     for field, value in want.items() if line.get(field) != value]
        if not re.fullmatch(r"\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}", line.get("date_time") or ""):
            problems.append(f"record line {number}: date_time {line.get('date_time')!r}")
        if not (line.get("seconds") or "").isdigit():
            problems.append(f"record line {number}: seconds {line.get('seconds')!r}")
    host = host_factory_record(board, args, work, flash_image)
    timeless = [[{k: v for k, v in line.items() if k not in ("date_time", "seconds")} for line in lines]
                for lines in (record, host or [])]
    if timeless[0] != timeless[1]:
        problems.append(f"the record of vexa-sim differs: firmware {timeless[0]}, host {timeless[1]}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--efi", "--vexa-board", "--vexa-sim", "--bundle", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--board", action="append", help="only this board of the table (may repeat)")
    parser.add_argument("--group", choices=GROUPS, help="only the boards of this group")
    parser.add_argument("--ovmf-code")
    parser.add_argument("--ovmf-vars")
    parser.add_argument("--timeout", type=float, default=120, help="seconds per boot")
    args = parser.parse_args()
    # The factory boards run their programs in folders of their own.
    for name in ("efi", "vexa_board", "vexa_sim", "bundle", "work"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    tools = ovmf_shell.find_tools()
    args.ovmf_code, args.ovmf_vars = ovmf_shell.find_ovmf(args.ovmf_code, args.ovmf_vars)
    missing = ovmf_shell.missing_tools(tools, args.ovmf_code)
    if missing:
        print("firmware tests skipped, missing: " + ", ".join(missing) + f" ({ovmf_shell.PACKAGES})")
        return SKIP

    image_path = os.path.join(args.work, "fw.bin")
    os.makedirs(args.work, exist_ok=True)
    subprocess.run([os.path.join(os.path.dirname(args.vexa_sim), "vexa-mkimage"), image_path, str(IMAGE_SIZE)],
                   check=True)
    with open(image_path, "rb") as source:
        image = source.read()
    failed = 0
    for board in BOARDS:
        if args.board and board.name not in args.board:
            continue
        if args.group and board.group() != args.group:
            continue
        work = os.path.join(args.work, board.name)
        os.makedirs(work, exist_ok=True)
        started = time.monotonic()
        if board.factory:
            problems = run_factory(board, args, image, work)
        else:
            segments, problems, disk = boot_board(board, args, tools, image, work)
            if segments or not problems:
                problems += check_updates(board, args, segments, work, image, image_path, disk, tools)
        seconds = time.monotonic() - started
        for problem in problems:
            print(f"FAIL {board.name}: {problem}")
        if not problems:
            print(f"PASS {board.name} ({seconds:.1f} s): " + ", ".join(run.name for run in board.runs)
                  if board.runs else f"PASS {board.name} ({seconds:.1f} s)")
        failed += bool(problems)
    print("all firmware boards passed" if failed == 0 else f"{failed} firmware board(s) failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
