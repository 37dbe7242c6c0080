"""A Linux guest on the served board: Debian's own kernel (through the
linux-image-amd64 metapackage, fetched with apt-get download and unpacked
with dpkg-deb -x into a cache folder, nothing installed) and a minimal
initramfs (static busybox, vexa-linux, the kernel modules of the LPSS I2C
controller and of i2c-dev) whose /init runs a shell script in /work and
powers off. Shared by scripts/run-linux and the Linux guest tests."""

import glob
import lzma
import os
import re
import shutil
import struct
import subprocess

import ovmf_shell

PACKAGES = "apt-get install --no-install-recommends qemu-system-x86 busybox-static"
METAPACKAGE = "linux-image-amd64"
# Loaded at boot, in this order: the LPSS function's driver (which hands
# the DesignWare block to the kernel's built-in i2c_designware) and the
# device nodes.
LOADED = ("intel-lpss", "intel-lpss-pci", "i2c-dev")
# There for the script to insmod from /lib/modules: an EEPROM driver to
# bind at an address.
AVAILABLE = ("at24",)
# No interrupt reaches the guest from the proxied function: with irqpoll the
# timer tick on IRQ 0 (kept there by nolapic_timer) runs the I2C driver's
# handler as well.
KERNEL_ARGUMENTS = "console=ttyS0 panic=-1 irqpoll nolapic_timer nohz=off loglevel=1"
BEGIN = b"VXLINUX-BEGIN\n"
END = re.compile(rb"VXLINUX-END (\d+)\n")

INIT = """#!/bin/busybox sh
/bin/busybox mkdir -p /proc /sys /dev /tmp
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sys /sys
/bin/busybox mount -t devtmpfs dev /dev
/bin/busybox --install -s /bin
export PATH=/bin
stty -onlcr
for module in {loaded}; do insmod /lib/modules/$module.ko; done
# The adapters' device nodes follow their registration.
tries=0
while [ $tries -lt 100 ]; do
  missing=0
  for adapter in /sys/bus/i2c/devices/i2c-*; do [ -e /dev/${{adapter##*/}} ] || missing=1; done
  [ -e "$adapter" ] && [ $missing = 0 ] && break
  tries=$((tries + 1)); sleep 0.1
done
cd /work
echo VXLINUX-BEGIN
sh ./{script}
echo "VXLINUX-END $?"
poweroff -f
"""


class GuestError(Exception):
    pass


def _run(command, cwd):
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise GuestError(f"{' '.join(command)}: {done.stderr.decode(errors='replace').strip()}")
    return done.stdout.decode()


def _download(package, cache):
    """The unpacked package in cache/package/ (downloaded only once)."""
    folder = os.path.join(cache, package)
    if os.path.isdir(folder):
        return folder
    _run(["apt-get", "download", "-q", package], cache)
    debs = glob.glob(os.path.join(cache, f"{package}_*.deb"))
    if not debs:
        raise GuestError(f"apt-get download {package} left no package in {cache}")
    _run(["dpkg-deb", "-x", debs[0], folder + ".part"], cache)
    os.rename(folder + ".part", folder)
    for deb in debs:
        os.remove(deb)
    return folder


def kernel_package(cache):
    """The folder of the kernel package linux-image-amd64 depends on today;
    offline, the newest one in the cache."""
    os.makedirs(cache, exist_ok=True)
    try:
        for old in glob.glob(os.path.join(cache, f"{METAPACKAGE}_*.deb")):
            os.remove(old)
        _run(["apt-get", "download", "-q", METAPACKAGE], cache)
        meta = glob.glob(os.path.join(cache, f"{METAPACKAGE}_*.deb"))[0]
        depends = _run(["dpkg-deb", "-f", meta, "Depends"], cache)
        os.remove(meta)
        return _download(re.split(r"[ ,|(]", depends.strip())[0], cache)
    except (GuestError, IndexError, OSError) as problem:
        cached = sorted(glob.glob(os.path.join(cache, "linux-image-*", "boot", "vmlinuz-*")))
        if cached:
            return os.path.dirname(os.path.dirname(cached[-1]))
        raise GuestError(f"no Debian kernel: {problem}") from None


def _is_static(path):
    """An ELF file with no program interpreter."""
    try:
        with open(path, "rb") as program:
            head = program.read(64)
            if head[:4] != b"\x7fELF" or head[4] != 2:
                return False
            phoff, = struct.unpack_from("<Q", head, 0x20)
            phentsize, phnum = struct.unpack_from("<HH", head, 0x36)
            for index in range(phnum):
                program.seek(phoff + index * phentsize)
                if struct.unpack("<I", program.read(4))[0] == 3:  # PT_INTERP
                    return False
            return True
    except OSError:
        return False


def busybox(cache):
    """A statically linked busybox: the host's (package busybox-static),
    else the package's own, fetched into the cache."""
    for path in ("/bin/busybox", "/usr/bin/busybox"):
        if _is_static(path):
            return path
    path = os.path.join(_download("busybox-static", cache), "bin", "busybox")
    if not _is_static(path):
        raise GuestError(f"{path} is not a static busybox")
    return path


def _modules(kernel_folder, names):
    """{name: bytes} of the modules and everything they depend on, in
    loading order (dependencies first); xz-compressed ones unpacked."""
    paths = {}
    for path in glob.glob(os.path.join(kernel_folder, "lib", "modules", "*", "kernel", "**", "*.ko*"),
                          recursive=True):
        paths[re.sub(r"\.ko(\.xz)?$", "", os.path.basename(path)).replace("_", "-")] = path
    loaded = {}

    def add(name):
        name = name.replace("_", "-")
        if name in loaded:
            return
        if name not in paths:
            raise GuestError(f"the kernel package has no module {name}")
        with open(paths[name], "rb") as module:
            data = module.read()
        if paths[name].endswith(".xz"):
            data = lzma.decompress(data)
        depends = re.search(rb"depends=([^\0]*)\0", data)
        for dependency in (depends.group(1).decode().split(",") if depends and depends.group(1) else []):
            add(dependency)
        loaded[name] = data

    for name in names:
        add(name)
    return loaded


def _cpio(entries):
    """An uncompressed newc archive of (name, mode, bytes)."""
    out = bytearray()
    for number, (name, mode, data) in enumerate(list(entries) + [("TRAILER!!!", 0, b"")], 1):
        encoded = name.encode() + b"\0"
        fields = (number, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(encoded), 0)
        out += b"070701" + b"".join(b"%08X" % field for field in fields) + encoded
        out += b"\0" * (-len(out) % 4)
        out += data
        out += b"\0" * (-len(out) % 4)
    return bytes(out)


def make_initramfs(path, kernel_folder, busybox_path, vexa_linux, files, script):
    """The initramfs at `path`: `files` (name in /work -> local path or
    bytes) and `script` (its name in /work, run with sh)."""
    def content(source):
        if isinstance(source, bytes):
            return source
        with open(source, "rb") as data:
            return data.read()

    directory, regular, executable, link = 0o040755, 0o100644, 0o100755, 0o120777
    entries = [(name, directory, b"") for name in ("bin", "lib", "lib/modules", "work", "proc", "sys", "dev")]
    entries += [("bin/busybox", executable, content(busybox_path)), ("bin/sh", link, b"busybox"),
                ("bin/vexa-linux", executable, content(vexa_linux)),
                ("init", executable, INIT.format(loaded=" ".join(LOADED), script=script).encode())]
    modules = _modules(kernel_folder, LOADED + AVAILABLE)
    entries += [(f"lib/modules/{name}.ko", regular, data) for name, data in modules.items()]
    entries += [(f"work/{name}", executable if isinstance(source, str) and os.access(source, os.X_OK) else regular,
                 content(source)) for name, source in files.items()]
    with open(path, "wb") as out:
        out.write(_cpio(entries))


def kernel_image(kernel_folder):
    return sorted(glob.glob(os.path.join(kernel_folder, "boot", "vmlinuz-*")))[-1]


def qemu_command(qemu, kernel, initrd):
    return [qemu, *ovmf_shell.MEMFD_RAM, "-accel", "tcg", "-kernel", kernel, "-initrd", initrd,
            "-append", KERNEL_ARGUMENTS, "-display", "none", "-serial", "stdio", "-monitor", "none",
            "-net", "none", "-no-reboot"]


def script_output(raw):
    """(the script's console output, its exit status or None when it never ended)."""
    start = raw.find(BEGIN)
    if start < 0:
        return "", None
    rest = raw[start + len(BEGIN):]
    end = END.search(rest)
    text = (rest[:end.start()] if end else rest).decode("latin-1")
    return text, int(end.group(1)) if end else None


def missing_tools():
    missing = []
    if ovmf_shell.find_tool("qemu-system-x86_64") is None:
        missing.append("qemu-system-x86_64")
    for tool in ("apt-get", "dpkg-deb"):
        if shutil.which(tool) is None:
            missing.append(tool)
    return missing
