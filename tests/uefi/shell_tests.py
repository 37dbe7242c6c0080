#!/usr/bin/env python3
"""Runs VEXA.efi in the UEFI Shell of OVMF under QEMU and checks what it does.

One QEMU boot per machine configuration: a FAT image holds VEXA.efi, test
images and a startup.nsh that runs every case of that machine, echoes a
begin marker, the tool's exit status (%lasterror%) after each case, and
ends with `reset -s`. The serial console is captured; each case's bytes
between its markers are compared with the expected console text (after the
terminal's ESC sequences are removed) and checked for CR LF line ends on
the raw bytes.

Exit status: 0 all cases passed, 1 a case failed or the guest misbehaved,
77 a tool needed to run the guest is missing (ctest shows a skip).
"""

import argparse
import dataclasses
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from ovmf_shell import (CRASH, CRLF, PACKAGES, boot as boot_qemu, find_ovmf, find_tools,  # noqa: E402
                        make_disk as make_fat_disk, missing_tools, qemu_command, read_disk_file, shell_script as ucs2_script,
                        strip_escapes)

SKIP = 77

# ---- Expected console text --------------------------------------------------

# The usage text is kept once, for these cases and the host's tests alike.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e", "usage_text.txt"),
          encoding="ascii", newline="") as usage_file:
    USAGE = usage_file.read().replace("\n", CRLF)


def wrong_parameter(refusal):
    """The red message, the line naming what was refused, the usage."""
    return "\r\n\r\nWrong Parameter! Please try again!\r\n" + refusal + "\r\n" + USAGE


def unknown_option(argument):
    return wrong_parameter(f"{argument}: no such option (options are lower case, see below).")


def file_open_fail(name):
    return (f"\r\nFile Open Fail!\r\n\r\n{name} cannot be opened: check its name and that it is in the "
            "current folder.\r\n")


FILE_FORMAT = 'File format is incorrect, please re-confirm it.\r\nFile format is "xxx.bin"\r\n'
BANNER = "\r\nOVK PD FW Update Utility v1.0.0.b3 thru "
EARLY_STOP = "\r\n\r\n"

# SGR sequences of the serial terminal for EFI attributes 0x04 and 0x07 on
# black.
RED_ON_BLACK = b"\x1b[0m\x1b[31m\x1b[40m"
GREY_ON_BLACK = b"\x1b[0m\x1b[37m\x1b[40m"


def check_red_wrong_parameter(raw):
    red = raw.find(RED_ON_BLACK)
    text = raw.find(b"Wrong Parameter!")
    grey = raw.find(GREY_ON_BLACK, max(text, 0))
    usage = raw.find(b"Usage Discription")
    if not 0 <= red < text:
        return "no red attribute (EFI 0x04 on black) before the Wrong Parameter text"
    if not text < grey < usage:
        return "no light grey attribute (EFI 0x07 on black) between Wrong Parameter and the usage text"
    return None


# ---- PCI configuration space as the Shell's `pci` command dumps it -------------

PCI_DUMP_LINE = re.compile(r"^\s*([0-9A-Fa-f]{8}):([0-9A-Fa-f -]+)\*", re.M)


def parse_pci_dump(text):
    config = bytearray(256)
    seen = 0
    for match in PCI_DUMP_LINE.finditer(text):
        offset = int(match.group(1), 16)
        values = re.findall(r"[0-9A-Fa-f]{2}", match.group(2))[:16]
        if offset + 16 <= len(config) and len(values) == 16:
            config[offset:offset + 16] = bytes(int(v, 16) for v in values)
            seen += 1
    if seen < 4:
        raise HarnessError("the Shell's pci dump of 0:21.0 could not be read:\n" + text)
    return bytes(config)


def assigned_memory_bar0(config):
    """(high, low) of the address the firmware gave BAR0 of this function."""
    low = int.from_bytes(config[0x10:0x14], "little")
    if low & 1:
        raise HarnessError("BAR0 at 0:21.0 is an I/O BAR; the machine configuration is wrong")
    # Only a 64-bit BAR has its upper half in the next register.
    high = int.from_bytes(config[0x14:0x18], "little") if (low >> 1) & 3 == 2 else 0
    low &= 0xFFFFFF00
    if high == 0 and low == 0:
        raise HarnessError("the firmware assigned no address to BAR0 at 0:21.0")
    return high, low


def testdev_refusal_text(context):
    config = context["pci 0:21.0"]
    high, low = assigned_memory_bar0(config)
    device_id = int.from_bytes(config[2:4], "little")
    # Memory decoding is turned on if the firmware left it off; pci-testdev
    # has no power-management capability and no LPSS device ID.
    decoding = "" if config[4] & 0x02 else "I2C0 PCI Memory Space Enabled\r\n"
    return (BANNER + "INTEL\r\n\r\n" + f"I2C0 MMIO Address = 0x{high:X}{low:08X}\r\n" + decoding
            + f"I2C0 Device ID = {device_id:04X}, Input Clock = 216 MHz (Assumed), Bus Rate = 389.9 kHz\r\n"
            + f"I2C0 Controller at 0x{high:X}{low:08X} Is Not a DesignWare I2C (IC_COMP_TYPE = 00000000)!!\r\n"
            + EARLY_STOP)


# ---- Cases --------------------------------------------------------------------


@dataclasses.dataclass
class Case:
    name: str
    command: str                 # the Shell line that runs the tool
    status: int                  # expected %lasterror%
    expect: object               # console text, or a function of the context giving it
    machine: str = "plain"
    cwd: str = "\\"              # directory of fs0: the case runs in
    raw_checks: tuple = ()       # functions of the raw bytes giving an error text or None


TEST_IMAGE = bytes((i * 7 + 3) & 0xFF for i in range(2048))
TEST_IMAGE_SHA256 = hashlib.sha256(TEST_IMAGE).hexdigest()

CASES = [
    Case("usage", "VEXA.efi", 0, USAGE),
    Case("wrong_parameter", "VEXA.efi /V", 1, unknown_option("/V"),
         raw_checks=(check_red_wrong_parameter,)),
    Case("file_format", "VEXA.efi fw.BIN", 1,
         FILE_FORMAT + wrong_parameter("fw.BIN: an image's name must end in .bin, in lower case.")),
    Case("value_refused", "VEXA.efi fw.bin /sa 5230zz", 1,
         wrong_parameter("/sa 5230zz: the value must be hexadecimal, digits 0-9 and A-F, optionally after 0x.")),
    Case("missing_file", "VEXA.efi missing.bin", 1, file_open_fail("missing.bin")),
    # A readable image followed by a bad option gives Wrong Parameter; an
    # image that cannot be opened gives File Open Fail first. That tells
    # whether the name resolved, without any hardware.
    Case("not_in_current_directory", "VEXA.efi image.bin /x", 1, file_open_fail("image.bin")),
    Case("relative_after_cd", "VEXA.efi image.bin /x", 1, unknown_option("/x"), cwd="\\sub"),
    Case("relative_path", "VEXA.efi sub\\image.bin /x", 1, unknown_option("/x")),
    Case("mapped_path", "VEXA.efi fs0:\\fw.bin /x", 1, unknown_option("/x"), cwd="\\sub"),
    Case("latin1_name", "VEXA.efi f\u00fcr-image.bin /x", 1, unknown_option("/x")),
    Case("directory_named_bin", "VEXA.efi folder.bin", 1, file_open_fail("folder.bin")),
    Case("absent_controller", "VEXA.efi fw.bin", 7,
         BANNER + "INTEL\r\n\r\n"
         + "I2C0 Controller Not Found (PCI Bus 0, Device 21, Function 0)!!\r\n" + EARLY_STOP),
    Case("testdev_not_designware", "VEXA.efi fw.bin /db", 7, testdev_refusal_text,
         machine="testdev"),
    # The image's .sha256 file beside it is found and checked by the firmware's
    # own file system, before any hardware is touched.
    Case("sha256_checked", "VEXA.efi signed.bin /x", 1,
         f"\r\nImage SHA-256 checked: {TEST_IMAGE_SHA256}\r\n" + unknown_option("/x")),
    Case("sha256_mismatch", "VEXA.efi damaged.bin", 1,
         "\r\nImage SHA-256 Mismatch!! damaged.bin is not the image damaged.bin.sha256 names.\r\n"
         f"Image:    {TEST_IMAGE_SHA256}\r\nExpected: {'0' * 64}\r\n\r\n"),
]

MACHINES = {
    "plain": [],
    # A PCI function at 0:21.0 whose memory BAR reads zeros: no DesignWare
    # I2C controller answers there.
    "testdev": ["-device", "pci-testdev,addr=15.0"],
}

# Shell commands whose output the cases of a machine need, run before them.
MACHINE_PROBES = {
    "testdev": [("pci 0:21.0", "pci 00 15 00")],
}


def test_files():
    """Files of the FAT image: path on the image -> content (None = folder)."""
    image = TEST_IMAGE
    return {
        "signed.bin": image,
        "signed.bin.sha256": f"{TEST_IMAGE_SHA256}  signed.bin\n".encode("ascii"),
        "damaged.bin": image,
        "damaged.bin.sha256": b"0" * 64 + b"\n",
        "fw.bin": image,
        "sub": None,
        "sub/image.bin": image,
        "f\u00fcr-image.bin": image,
        "folder.bin": None,
    }


# ---- Running the guest ------------------------------------------------------


class HarnessError(Exception):
    pass


SEGMENT = re.compile(rb"VXBEGIN (\S+)\r\n(.*?)VXEND (0x[0-9A-Fa-f]+)\r\n", re.S)


def shell_script(cases, probes):
    lines = ["@echo -off", "fs0:", "cd \\"]
    for label, command in probes:
        lines += [f"echo VXBEGIN {label.replace(' ', '_')}", command, "echo VXEND %lasterror%"]
    for case in cases:
        lines += [f"cd {case.cwd}", f"echo VXBEGIN {case.name}", case.command,
                  "echo VXEND %lasterror%", "cd \\"]
    lines.append("reset -s")
    return ucs2_script(lines)


def make_disk(path, efi, script, tools):
    make_fat_disk(path, dict(test_files(), **{"VEXA.efi": efi, "startup.nsh": script}), tools)


def boot(machine, disk, work, ovmf_code, ovmf_vars, qemu, timeout):
    """Boots the guest until it powers off; returns the raw serial bytes."""
    vars_copy = os.path.join(work, f"vars-{machine}.fd")
    shutil.copyfile(ovmf_vars, vars_copy)
    command = qemu_command(qemu, disk, vars_copy, ovmf_code) + MACHINES[machine]
    log_path = os.path.join(work, f"serial-{machine}.log")
    raw, failure = boot_qemu(command, log_path, os.path.join(work, f"qemu-{machine}.stderr"), timeout)
    return raw, failure, log_path


def describe_difference(expected, actual):
    expected_lines = expected.split("\n")
    actual_lines = actual.split("\n")
    for number, (want, got) in enumerate(zip(expected_lines, actual_lines), 1):
        if want != got:
            return f"line {number}: expected {want!r}\n{' ' * 8}got      {got!r}"
    if len(expected_lines) != len(actual_lines):
        return (f"expected {len(expected_lines)} lines, got {len(actual_lines)}; "
                f"first extra: {(expected_lines + actual_lines)[min(len(expected_lines), len(actual_lines))]!r}")
    return "texts differ"


def check_case(case, raw, status, context):
    """List of failures of one case."""
    problems = []
    if status != case.status:
        problems.append(f"exit status 0x{status:X}, expected 0x{case.status:X}")
    bare = raw.count(b"\n") - raw.count(b"\r\n")
    if bare:
        problems.append(f"{bare} line feed(s) without a carriage return before them")
    expected = case.expect(context) if callable(case.expect) else case.expect
    actual = strip_escapes(raw)
    if actual != expected:
        problems.append("console text differs: " + describe_difference(expected, actual))
    for check in case.raw_checks:
        message = check(raw)
        if message:
            problems.append(message)
    return problems


def run_machine(machine, cases, args, tools):
    probes = MACHINE_PROBES.get(machine, [])
    disk = os.path.join(args.work, f"disk-{machine}.img")
    make_disk(disk, args.efi, shell_script(cases, probes), tools)
    started = time.monotonic()
    raw, failure, log_path = boot(machine, disk, args.work, args.ovmf_code, args.ovmf_vars,
                                  tools["qemu"], args.timeout)
    print(f"[{machine}] guest ran {time.monotonic() - started:.1f} s, serial log {log_path}")

    segments = {m.group(1).decode(): (m.group(2), int(m.group(3), 16)) for m in SEGMENT.finditer(raw)}
    context = {}
    failed = 0
    for label, _ in probes:
        key = label.replace(" ", "_")
        if key in segments:
            context[label] = segments[key][0]

    for case in cases:
        if case.name not in segments:
            problems = ["no output between its markers" + (f" ({failure})" if failure else "")]
            begin = raw.find(f"VXBEGIN {case.name}\r\n".encode())
            if begin >= 0:
                text = strip_escapes(raw[begin:])
                crash = text.find(CRASH.decode())
                if crash >= 0:
                    text = text[:text.find("\n", crash) + 1]
                problems.append("its output so far ends: " + repr(text[-400:]))
        else:
            raw_case, status = segments[case.name]
            try:
                probe_context = {k: parse_pci_dump(strip_escapes(v)) for k, v in context.items()}
                problems = check_case(case, raw_case, status, probe_context)
            except HarnessError as error:
                problems = [str(error)]
        if problems:
            failed += 1
            print(f"FAIL {machine}/{case.name}: {case.command}")
            for problem in problems:
                print(f"        {problem}")
        else:
            print(f"PASS {machine}/{case.name}")
    if failure:
        print(f"[{machine}] {failure}")
        failed += 1
    return failed


# ---- The factory-line example startup.nsh ------------------------------------

# It runs on the plain machine (no I2C controller), in a boot of its own: the
# harness's startup.nsh calls it twice as factory.nsh, so that the log on the
# stick must hold both runs.
FACTORY_MACHINE = "factory"
MACHINES[FACTORY_MACHINE] = MACHINES["plain"]
FACTORY_RUNS = ("factory_line_1", "factory_line_2")
FACTORY_LOG = "VEXALOG.TXT"
FACTORY_STATUS = 7


def factory_line_script():
    lines = ["@echo -off", "fs0:", "cd \\"]
    for name in FACTORY_RUNS:
        lines += [f"echo VXBEGIN {name}", "factory.nsh", "echo VXEND %lasterror%"]
    lines.append("reset -s")
    return CRLF.join(lines + [""]).encode("ascii")


def check_factory_log(log):
    """Each run's block of the ASCII log ends with the tool's refusal and its status."""
    refusal = next(case.expect for case in CASES if case.name == "absent_controller")
    ending = refusal + f"VEXA exit status 0x{FACTORY_STATUS:X}\r\n"
    # A block begins with a line of exactly five '=' (smbiosview draws longer ones).
    blocks = re.split(r"(?:^|(?<=\n))=====\r\n", log)
    if blocks[0] != "" or len(blocks) != len(FACTORY_RUNS) + 1:
        return [f"expected {len(FACTORY_RUNS)} appended blocks in {FACTORY_LOG}, got: {log!r}"]
    return [f"block {number} of {FACTORY_LOG} does not end with the refusal and its status: {block!r}"
            for number, block in enumerate(blocks[1:], 1) if not block.endswith(ending)]


def run_factory_line(args, tools):
    disk = os.path.join(args.work, f"disk-{FACTORY_MACHINE}.img")
    make_disk(disk, args.efi, factory_line_script(), tools)
    environment = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    subprocess.run([tools["mcopy"], "-i", disk, args.factory_script, "::factory.nsh"], check=True,
                   env=environment)
    raw, failure, log_path = boot(FACTORY_MACHINE, disk, args.work, args.ovmf_code, args.ovmf_vars,
                                  tools["qemu"], args.timeout)
    print(f"[{FACTORY_MACHINE}] serial log {log_path}")
    segments = {m.group(1).decode(): (m.group(2), int(m.group(3), 16)) for m in SEGMENT.finditer(raw)}
    problems = [failure] if failure else []
    for name in FACTORY_RUNS:
        if name not in segments:
            problems.append(f"{name}: no output between its markers")
            continue
        screen, status = strip_escapes(segments[name][0]), segments[name][1]
        verdicts = [line for line in screen.split("\r\n") if line.startswith(("PASS", "FAIL"))]
        if status != FACTORY_STATUS or len(verdicts) != 1 or not verdicts[0].startswith("FAIL") \
                or f"0x{FACTORY_STATUS:X}" not in verdicts[0]:
            problems.append(f"{name}: status 0x{status:X}, expected a FAIL line with 0x{FACTORY_STATUS:X} "
                            f"on the screen: {screen!r}")
    log = read_disk_file(disk, FACTORY_LOG, os.path.join(args.work, FACTORY_LOG), tools)
    if log is None:
        problems.append(f"no {FACTORY_LOG} on the stick")
    else:
        problems += check_factory_log(log.decode("latin-1"))
    for problem in problems:
        print(f"FAIL {FACTORY_MACHINE}: {problem}")
    if not problems:
        print(f"PASS {FACTORY_MACHINE}: the example startup.nsh logs the refusal and shows FAIL")
    return len(problems)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--efi", required=True, help="VEXA.efi to test")
    parser.add_argument("--work", required=True, help="folder for disk images and serial logs")
    parser.add_argument("--machine", choices=sorted(MACHINES), action="append",
                        help="only this machine configuration (may repeat)")
    parser.add_argument("--ovmf-code")
    parser.add_argument("--ovmf-vars")
    parser.add_argument("--timeout", type=float, default=150, help="seconds per boot")
    parser.add_argument("--factory-script", help="the factory-line example startup.nsh to run as well")
    args = parser.parse_args()

    tools = find_tools()
    args.ovmf_code, args.ovmf_vars = find_ovmf(args.ovmf_code, args.ovmf_vars)
    missing = missing_tools(tools, args.ovmf_code)
    if missing:
        print("UEFI Shell tests skipped, missing: " + ", ".join(missing) + f" ({PACKAGES})")
        return SKIP
    if not os.path.exists(args.efi):
        print(f"{args.efi} does not exist")
        return 1
    os.makedirs(args.work, exist_ok=True)

    machines = args.machine or sorted({case.machine for case in CASES})
    failed = 0
    for machine in machines:
        cases = [case for case in CASES if case.machine == machine]
        if cases:
            failed += run_machine(machine, cases, args, tools)
    if args.factory_script and (not args.machine or FACTORY_MACHINE in args.machine):
        failed += run_factory_line(args, tools)
    print("all UEFI Shell cases passed" if failed == 0 else f"{failed} UEFI Shell failure(s)")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
