"""Booting OVMF's UEFI Shell in QEMU with a FAT disk, optionally with the
simulated board (vexa-board) attached as the LPSS I2C functions at 0:21.f.
Shared by scripts/run-firmware and the UEFI Shell tests."""

import os
import re
import select
import shutil
import socket
import subprocess
import time

CRLF = "\r\n"
ESCAPE = re.compile(rb"\x1b\[[0-9;=?]*[A-Za-z]")
CRASH = b"!!!! X64 Exception"
SKIP_PROMPT = b"seconds to skip"
# The Shell's prompt, at the end of the console text: a script has ended.
SHELL_PROMPT = re.compile(rb"(?:Shell|FS\d+:\\[^\r\n>]*)> $", re.I)
PACKAGES = "apt-get install --no-install-recommends qemu-system-x86 ovmf mtools dosfstools"


def find_tool(name):
    path = shutil.which(name)
    if path is None:
        for folder in ("/usr/sbin", "/sbin"):
            candidate = os.path.join(folder, name)
            if os.access(candidate, os.X_OK):
                return candidate
    return path


def find_tools():
    """Paths of the programs a boot needs; None for a missing one."""
    tools = {name: find_tool(name) for name in ("mkfs.vfat", "mcopy", "mmd")}
    tools["qemu"] = find_tool("qemu-system-x86_64")
    return tools


def find_ovmf(code=None, vars_=None):
    if code and vars_:
        return code, vars_
    for code_name, vars_name in (("OVMF_CODE_4M.fd", "OVMF_VARS_4M.fd"), ("OVMF_CODE.fd", "OVMF_VARS.fd")):
        for folder in ("/usr/share/OVMF", "/usr/share/edk2/ovmf", "/usr/share/edk2-ovmf/x64"):
            c, v = os.path.join(folder, code_name), os.path.join(folder, vars_name)
            if os.path.exists(c) and os.path.exists(v):
                return c, v
    return None, None


def missing_tools(tools, ovmf_code):
    """What a boot needs and this machine lacks, by name."""
    missing = [name for name, path in tools.items() if path is None]
    if ovmf_code is None:
        missing.append("OVMF (package ovmf)")
    return missing


def shell_script(lines):
    """A startup.nsh: UCS-2 with a byte order mark, so that arguments may
    hold any character, CR LF line ends."""
    return "\ufeff".encode("utf-16-le") + CRLF.join(list(lines) + [""]).encode("utf-16-le")


def make_disk(path, files, tools):
    """A FAT image holding `files`: name on the image -> bytes, a local
    file's path (str), or None for a folder."""
    if os.path.exists(path):
        os.remove(path)
    environment = dict(os.environ, LC_ALL="C.UTF-8", MTOOLS_SKIP_CHECK="1")

    def run(*command):
        subprocess.run(command, check=True, env=environment, stdout=subprocess.DEVNULL)

    run(tools["mkfs.vfat"], "-C", "-n", "VEXATEST", path, "16384")
    local = path + ".content"
    for name, content in files.items():
        if content is None:
            run(tools["mmd"], "-i", path, "::" + name)
            continue
        source = content
        if isinstance(content, bytes):
            with open(local, "wb") as out:
                out.write(content)
            source = local
        run(tools["mcopy"], "-i", path, source, "::" + name)
    if os.path.exists(local):
        os.remove(local)


def read_disk_file(disk, name, copy, tools):
    """The bytes of `name` on the FAT image (copied to `copy`); None when absent."""
    environment = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    read = subprocess.run([tools["mcopy"], "-n", "-o", "-i", disk, "::" + name, copy],
                          env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if read.returncode != 0:
        return None
    with open(copy, "rb") as data:
        return data.read()


def strip_escapes(raw):
    return ESCAPE.sub(b"", raw).decode("latin-1")


class BoardError(Exception):
    pass


class ServedBoard:
    """vexa-board with the given board options, serving 0:21.0 and the
    function of --pd-channel (function 0 is always there: PCI enumeration
    looks at it first). Gives QEMU's -device arguments and the
    descriptors QEMU must inherit."""

    def __init__(self, program, options, stderr_path):
        channel = 0
        for index, option in enumerate(options[:-1]):
            if option == "--pd-channel":
                channel = int(options[index + 1]) & 7
        functions = sorted({0, channel})
        pairs = [socket.socketpair() for _ in functions]
        self.qemu_fds = [qemu_end.fileno() for qemu_end, _ in pairs]
        board_fds = [board_end.fileno() for _, board_end in pairs]
        command = [program] + list(options)
        for function, fd in zip(functions, board_fds):
            command += ["--socket", f"{function}={fd}"]
        with open(stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(command, pass_fds=board_fds, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.PIPE, stderr=stderr)
        self.stderr_path = stderr_path
        for _, board_end in pairs:
            board_end.close()
        # Its first line says it is serving; without it the board could not start.
        if not self.process.stdout.readline().startswith(b"vexa-board: serving"):
            self.process.wait()
            with open(stderr_path, "rb") as stderr:
                complaint = stderr.read().decode(errors="replace").strip()
            raise BoardError(f"vexa-board ended with status {self.process.returncode}: {complaint}")
        self._sockets = [qemu_end for qemu_end, _ in pairs]
        self.qemu_args = []
        for function, fd in zip(functions, self.qemu_fds):
            multifunction = ",multifunction=on" if function == 0 and len(functions) > 1 else ""
            self.qemu_args += ["-device", f"x-pci-proxy-dev,id=i2c{function},fd={fd},bus=pcie.0,"
                                          f"addr=15.{function}{multifunction}"]

    def qemu_started(self):
        """QEMU holds its ends now; closing ours lets the board see QEMU go."""
        for end in self._sockets:
            end.close()

    def finish(self, timeout=10):
        """The board's exit code and complaint, once it ended (it does when QEMU has gone)."""
        self.qemu_started()
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None, f"vexa-board did not end within {timeout} s of QEMU"
        with open(self.stderr_path, "rb") as stderr:
            complaint = stderr.read().decode(errors="replace").strip()
        return status, complaint


# Guest RAM in a memfd: QEMU's proxy hands the board the RAM's descriptors,
# which plain anonymous memory has none of ("Unable to write to socket: Bad
# file descriptor", about a hundred times a boot).
MEMFD_RAM = ["-machine", "q35,memory-backend=ram0", "-m", "256M",
             "-object", "memory-backend-memfd,id=ram0,size=256M,share=on"]


def qemu_command(qemu, disk, vars_copy, ovmf_code, accel="tcg"):
    return [
        qemu, *MEMFD_RAM, "-accel", accel,
        "-drive", f"if=pflash,format=raw,unit=0,readonly=on,file={ovmf_code}",
        "-drive", f"if=pflash,format=raw,unit=1,file={vars_copy}",
        "-drive", f"format=raw,file={disk},if=ide",
        "-display", "none", "-serial", "stdio", "-monitor", "none", "-net", "none", "-no-reboot",
    ]


def boot(command, log_path, stderr_path, timeout, pass_fds=(), echo=None, end_at_prompt=False):
    """Runs QEMU until the guest powers off; returns (raw serial bytes,
    failure text or None). `echo` gets the serial bytes as they come. With
    `end_at_prompt`, a Shell prompt after startup.nsh (the script ended
    without powering off, as a factory script does to leave a failed board
    on) is answered with `reset -s`."""
    with open(stderr_path, "wb") as stderr:
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr,
                                   pass_fds=pass_fds)
    output = bytearray()
    deadline = time.monotonic() + timeout
    key_sent = False
    reset_sent = False
    crashed_at = None
    failure = None
    try:
        while True:
            now = time.monotonic()
            if now > deadline:
                failure = f"no power-off within {timeout:.0f} s (guest hung?)"
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
                if echo:
                    echo(chunk)
                # Any key but ESC ends the Shell's wait before startup.nsh.
                if not key_sent and SKIP_PROMPT in output:
                    process.stdin.write(b" ")
                    process.stdin.flush()
                    key_sent = True
                if crashed_at is None and CRASH in output:
                    crashed_at = now
                if end_at_prompt and key_sent and not reset_sent and \
                        SHELL_PROMPT.search(ESCAPE.sub(b"", bytes(output[-200:]))):
                    process.stdin.write(b"reset -s\r")
                    process.stdin.flush()
                    reset_sent = True
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
    return bytes(output), failure
