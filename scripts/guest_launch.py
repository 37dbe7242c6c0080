"""What scripts/run-firmware and scripts/run-linux do alike: their command
line (--build, --timeout, board options, "--", the files, the guest's
script), the simulated board (vexa-board) served to QEMU, and a boot that
ends when the guest powers off."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ovmf_shell  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Usage(Exception):
    pass


def parse(argv, script_option, flags=(), lists=()):
    """(settings, board options, files). `script_option` ("--nsh", "--sh")
    names the guest's script among the files; `flags` are the launcher's
    own options without a value (e.g. "--kvm"), `lists` those whose values
    add up as they repeat (e.g. "--smbios")."""
    if "--" not in argv:
        raise Usage("no \"--\" before the files for the guest (see --help)")
    split = argv.index("--")
    before, after = argv[:split], argv[split + 1:]
    settings = {"build": os.path.join(ROOT, "build"), "timeout": 600.0, "script": None}
    settings.update({flag[2:]: False for flag in flags})
    settings.update({option[2:]: [] for option in lists})
    board = []
    index = 0
    while index < len(before):
        option = before[index]
        if option in ("--build", "--timeout"):
            if index + 1 >= len(before):
                raise Usage(f"{option} needs a value")
            value = before[index + 1]
            try:
                settings[option[2:]] = value if option == "--build" else float(value)
            except ValueError:
                raise Usage(f"--timeout: '{value}' is not a number of seconds") from None
            index += 2
        elif option in flags:
            settings[option[2:]] = True
            index += 1
        elif option in lists:
            if index + 1 >= len(before):
                raise Usage(f"{option} needs a value")
            settings[option[2:]].append(before[index + 1])
            index += 2
        else:
            board.append(option)
            index += 1
    files = []
    index = 0
    while index < len(after):
        if after[index] == script_option:
            if index + 1 >= len(after):
                raise Usage(f"{script_option} needs a script")
            settings["script"] = after[index + 1]
            index += 2
        else:
            files.append(after[index])
            index += 1
    for path in files + ([settings["script"]] if settings["script"] else []):
        if not os.path.isfile(path):
            raise Usage(f"no such file: {path}")
    return settings, board, files


def wants_help(argv):
    return any(arg in ("-h", "--help") for arg in argv[:argv.index("--") if "--" in argv else None])


def board_program(build):
    path = os.path.join(build, "runner", "vexa-board")
    if not os.path.exists(path):
        raise Usage(f"{path} is missing: build first (cmake -S . -B build && cmake --build build -j2)")
    return path


class ConsoleEcho:
    """Writes whole lines of the serial console, escape sequences removed;
    the firmware's CP437 block characters become UTF-8 (a Linux guest's
    console is UTF-8 already: `encoding`)."""

    def __init__(self, encoding="cp437"):
        self.pending = b""
        self.encoding = encoding
        self.out = sys.stdout

    def __call__(self, chunk):
        self.pending += chunk
        end = self.pending.rfind(b"\n") + 1
        if end:
            self.write(self.pending[:end])
            self.pending = self.pending[end:]

    def write(self, raw):
        self.out.write(ovmf_shell.ESCAPE.sub(b"", raw).decode(self.encoding, errors="replace"))
        self.out.flush()

    def flush(self):
        if self.pending:
            self.write(self.pending + b"\r\n")
        self.pending = b""


def served_boot(board_path, board_options, command, work, timeout, echo=None, end_at_prompt=False):
    """Serves the board to QEMU running `command` (the board's -device
    arguments are added) until the guest powers off. Returns (raw serial
    bytes, failure text or None); a failure of the board's own counts.
    `end_at_prompt` is ovmf_shell.boot's."""
    try:
        served = ovmf_shell.ServedBoard(board_path, board_options, os.path.join(work, "board.stderr"))
    except ovmf_shell.BoardError as error:
        return b"", str(error)
    raw, failure = ovmf_shell.boot(command + served.qemu_args, os.path.join(work, "serial.log"),
                                   os.path.join(work, "qemu.stderr"), timeout,
                                   pass_fds=served.qemu_fds, echo=echo, end_at_prompt=end_at_prompt)
    if echo:
        echo.flush()
    status, complaint = served.finish()
    if status != 0:
        failure = failure or f"vexa-board ended with status {status}: {complaint}"
    return raw, failure
