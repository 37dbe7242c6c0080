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
import os
import re
import select
import shutil
import subprocess
import sys
import time

SKIP = 77

# ---- Expected console text --------------------------------------------------

CRLF = "\r\n"

USAGE = (
    "\r\nUsage Discription :"
    "\r\n\r\n (Default Address:  Slave=0x80, Channel=1, TPCI=0x80, CFG=0x2E)"
    "\r\n\r\n fs0:\\>VEXA FILE             ==>Update Platform PD FW."
    "\r\n\r\n fs0:\\>VEXA FILE /n          ==>Notify EC to do PD update."
    "\r\n\r\n fs0:\\>VEXA FILE /v          ==>Show Version during update."
    "\r\n\r\n fs0:\\>VEXA FILE /ov         ==>Only show PD FW version without Update."
    "\r\n\r\n fs0:\\>VEXA FILE /t 40       ==>Specify TCPI mode address to 0x40."
    "\r\n\r\n fs0:\\>VEXA FILE /sa 80      ==>Specify FW slave address to 0x80(8bits)."
    "\r\n\r\n fs0:\\>VEXA FILE /cp 4E      ==>Specify Configuration Port to 0x4E/0x4F."
    "\r\n\r\n fs0:\\>VEXA FILE /i2c 1      ==>Specify i2c channel to 1."
    "\r\n\r\n"
)
WRONG_PARAMETER = "\r\n\r\nWrong Parameter! Please try again!\r\n" + USAGE
FILE_FORMAT = 'File format is incorrect, please re-confirm it.\r\nFile format is "xxx.bin"\r\n'
FILE_OPEN_FAIL = "\r\nFile Open Fail!\r\n\r\n"
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


CASES = [
    Case("usage", "VEXA.efi", 0, USAGE),
    Case("wrong_parameter", "VEXA.efi /V", 1, WRONG_PARAMETER,
         raw_checks=(check_red_wrong_parameter,)),
    Case("file_format", "VEXA.efi fw.BIN", 1, FILE_FORMAT + WRONG_PARAMETER),
    Case("missing_file", "VEXA.efi missing.bin", 1, FILE_OPEN_FAIL),
    # A readable image followed by a bad option gives Wrong Parameter; an
    # image that cannot be opened gives File Open Fail first. That tells
    # whether the name resolved, without any hardware.
    Case("not_in_current_directory", "VEXA.efi image.bin /x", 1, FILE_OPEN_FAIL),
    Case("relative_after_cd", "VEXA.efi image.bin /x", 1, WRONG_PARAMETER, cwd="\\sub"),
    Case("relative_path", "VEXA.efi sub\\image.bin /x", 1, WRONG_PARAMETER),
    Case("mapped_path", "VEXA.efi fs0:\\fw.bin /x", 1, WRONG_PARAMETER, cwd="\\sub"),
    Case("latin1_name", "VEXA.efi f\u00fcr-image.bin /x", 1, WRONG_PARAMETER),
    Case("directory_named_bin", "VEXA.efi folder.bin", 1, FILE_OPEN_FAIL),
    Case("absent_controller", "VEXA.efi fw.bin", 7,
         BANNER + "INTEL\r\n\r\n"
         + "I2C0 Controller Not Found (PCI Bus 0, Device 21, Function 0)!!\r\n" + EARLY_STOP),
    Case("testdev_not_designware", "VEXA.efi fw.bin /db", 7, testdev_refusal_text,
         machine="testdev"),
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
    image = bytes((i * 7 + 3) & 0xFF for i in range(2048))
    return {
        "fw.bin": image,
        "sub": None,
        "sub/image.bin": image,
        "f\u00fcr-image.bin": image,
        "folder.bin": None,
    }


# ---- Running the guest ------------------------------------------------------


class HarnessError(Exception):
    pass


ESCAPE = re.compile(rb"\x1b\[[0-9;=?]*[A-Za-z]")
SEGMENT = re.compile(rb"VXBEGIN (\S+)\r\n(.*?)VXEND (0x[0-9A-Fa-f]+)\r\n", re.S)
CRASH = b"!!!! X64 Exception"
SKIP_PROMPT = b"seconds to skip"


def find_tool(name):
    path = shutil.which(name)
    if path is None:
        for folder in ("/usr/sbin", "/sbin"):
            candidate = os.path.join(folder, name)
            if os.access(candidate, os.X_OK):
                return candidate
    return path


def find_ovmf(code, vars_):
    if code and vars_:
        return code, vars_
    for code_name, vars_name in (("OVMF_CODE_4M.fd", "OVMF_VARS_4M.fd"), ("OVMF_CODE.fd", "OVMF_VARS.fd")):
        for folder in ("/usr/share/OVMF", "/usr/share/edk2/ovmf", "/usr/share/edk2-ovmf/x64"):
            c, v = os.path.join(folder, code_name), os.path.join(folder, vars_name)
            if os.path.exists(c) and os.path.exists(v):
                return c, v
    return None, None


def shell_script(cases, probes):
    lines = ["@echo -off", "fs0:", "cd \\"]
    for label, command in probes:
        lines += [f"echo VXBEGIN {label.replace(' ', '_')}", command, "echo VXEND %lasterror%"]
    for case in cases:
        lines += [f"cd {case.cwd}", f"echo VXBEGIN {case.name}", case.command,
                  "echo VXEND %lasterror%", "cd \\"]
    lines.append("reset -s")
    # UCS-2 with a byte order mark, so that arguments may hold any character.
    return "\ufeff".encode("utf-16-le") + CRLF.join(lines + [""]).encode("utf-16-le")


def make_disk(path, efi, script, tools):
    if os.path.exists(path):
        os.remove(path)
    environment = dict(os.environ, LC_ALL="C.UTF-8", MTOOLS_SKIP_CHECK="1")

    def run(*command):
        subprocess.run(command, check=True, env=environment, stdout=subprocess.DEVNULL)

    run(tools["mkfs.vfat"], "-C", "-n", "VEXATEST", path, "16384")
    folder = os.path.dirname(path)
    run(tools["mcopy"], "-i", path, efi, "::VEXA.efi")
    for name, content in test_files().items():
        if content is None:
            run(tools["mmd"], "-i", path, "::" + name)
            continue
        local = os.path.join(folder, "content.tmp")
        with open(local, "wb") as out:
            out.write(content)
        run(tools["mcopy"], "-i", path, local, "::" + name)
        os.remove(local)
    local = os.path.join(folder, "startup.nsh")
    with open(local, "wb") as out:
        out.write(script)
    run(tools["mcopy"], "-i", path, local, "::startup.nsh")


def boot(machine, disk, work, ovmf_code, ovmf_vars, qemu, timeout):
    """Boots the guest until it powers off; returns the raw serial bytes."""
    vars_copy = os.path.join(work, f"vars-{machine}.fd")
    shutil.copyfile(ovmf_vars, vars_copy)
    command = [
        qemu, "-machine", "q35", "-accel", "tcg", "-m", "256",
        "-drive", f"if=pflash,format=raw,unit=0,readonly=on,file={ovmf_code}",
        "-drive", f"if=pflash,format=raw,unit=1,file={vars_copy}",
        "-drive", f"format=raw,file={disk},if=ide",
        "-display", "none", "-serial", "stdio", "-monitor", "none", "-net", "none", "-no-reboot",
    ] + MACHINES[machine]
    log_path = os.path.join(work, f"serial-{machine}.log")
    stderr_path = os.path.join(work, f"qemu-{machine}.stderr")
    with open(stderr_path, "wb") as stderr:
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr)
    output = bytearray()
    deadline = time.monotonic() + timeout
    key_sent = False
    crashed_at = None
    failure = None
    try:
        while True:
            now = time.monotonic()
            if now > deadline:
                failure = f"no power-off within {timeout} s (guest hung?)"
                break
            if crashed_at is not None and now > crashed_at + 1.0:
                failure = "the guest took a processor exception"
                break
            ready, _, _ = select.select([process.stdout], [], [], 0.2)
            if ready:
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    # The serial side closed: the guest is powering off.
                    try:
                        process.wait(timeout=max(1.0, deadline - time.monotonic()))
                    except subprocess.TimeoutExpired:
                        failure = "QEMU closed the serial console but did not end"
                    break
                output += chunk
                # Any key but ESC ends the Shell's wait before startup.nsh.
                if not key_sent and SKIP_PROMPT in output:
                    process.stdin.write(b" ")
                    process.stdin.flush()
                    key_sent = True
                if crashed_at is None and CRASH in output:
                    crashed_at = now
            elif process.poll() is not None:
                break
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
        with open(log_path, "wb") as log:
            log.write(output)
    if failure is None and process.returncode != 0:
        with open(stderr_path, "rb") as stderr:
            failure = f"QEMU ended with status {process.returncode}: {stderr.read().decode(errors='replace')}"
    return bytes(output), failure, log_path


def strip_escapes(raw):
    return ESCAPE.sub(b"", raw).decode("latin-1")


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
    blocks = log.split("=====\r\n")
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
    copy = os.path.join(args.work, FACTORY_LOG)
    read = subprocess.run([tools["mcopy"], "-n", "-o", "-i", disk, "::" + FACTORY_LOG, copy],
                          env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if read.returncode != 0:
        problems.append(f"no {FACTORY_LOG} on the stick")
    else:
        with open(copy, "rb") as log:
            problems += check_factory_log(log.read().decode("latin-1"))
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

    tools = {name: find_tool(name) for name in ("mkfs.vfat", "mcopy", "mmd")}
    tools["qemu"] = find_tool("qemu-system-x86_64")
    args.ovmf_code, args.ovmf_vars = find_ovmf(args.ovmf_code, args.ovmf_vars)
    missing = [name for name, path in tools.items() if path is None]
    if args.ovmf_code is None:
        missing.append("OVMF (package ovmf)")
    if missing:
        print("UEFI Shell tests skipped, missing: " + ", ".join(missing)
              + " (apt-get install --no-install-recommends qemu-system-x86 ovmf mtools dosfstools)")
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
