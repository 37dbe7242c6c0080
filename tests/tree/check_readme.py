#!/usr/bin/env python3
"""Checks that the README's commands run as written from a fresh clone.

Every ```sh block of README.md is read as shell commands, in order, as a
user at the top of the repository would type them:

- `cmake -S . -B DIR -D...` configures DIR; one folder configured twice with
  other options, or an option the project does not have, is a failure.
- `cmake --build DIR --target T`, `cmake --install DIR` and
  `ctest --test-dir DIR` need DIR configured above; the targets must exist,
  and the UEFI ones must not be asked of a folder configured without UEFI.
- `DIR/runner/PROGRAM ...` (vexa-sim, vexa-mkimage, vexa-bench) and
  `sha256sum` are run, in one scratch folder shared by the whole README,
  with the programs of the build under test; the exit code must be 0, or the
  one a trailing "# exit code N" comment names.
- `scripts/...` must be executable files of the tree (the build folders
  they configure count as configured); other programs must
  be on PATH (`apt-get install` packages known to dpkg).

The README must begin with its title and give the two commands of a fresh
clone (scripts/run-demo and scripts/test-all) in its first block.

Usage: check_readme.py SOURCE_DIR RUNNER_DIR. Exit status 0 when every
command holds; otherwise every failure is printed and the status is 1.
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

BLOCK = re.compile(r"^```sh\n(.*?)^```", re.M | re.S)
PROGRAMS = ("vexa-sim", "vexa-mkimage", "vexa-bench")
UEFI_TARGETS = ("vexa_efi", "vexa_bundle")


def commands(readme):
    """(block number, command text, expected exit code) in README order."""
    for number, block in enumerate(BLOCK.findall(readme), 1):
        text = re.sub(r"\\\n\s*", " ", block)
        for line in text.splitlines():
            comment = re.search(r"(^|\s)#(\s.*)?$", line)
            expected = 0
            if comment:
                match = re.search(r"exit code (\d+)", comment.group(0))
                expected = int(match.group(1)) if match else 0
                line = line[:comment.start()]
            for part in line.split("&&"):
                if part.strip():
                    yield number, part.strip(), expected


def project_options(source):
    names = {"CMAKE_BUILD_TYPE", "CMAKE_INSTALL_PREFIX"}
    with open(os.path.join(source, "CMakeLists.txt")) as cmake:
        names |= set(re.findall(r"^option\((\w+)", cmake.read(), re.M))
    return names


def project_targets(source):
    targets = set()
    for folder, _, files in os.walk(source):
        if "CMakeLists.txt" in files and not os.path.basename(folder).startswith("build"):
            with open(os.path.join(folder, "CMakeLists.txt")) as cmake:
                targets |= set(re.findall(r"add_(?:executable|custom_target|library)\(([\w-]+)", cmake.read()))
    return targets


def main():
    source, runner = sys.argv[1], sys.argv[2]
    with open(os.path.join(source, "README.md")) as f:
        readme = f.read()
    problems = []
    lines = readme.splitlines()
    if not lines or not lines[0].startswith("# "):
        problems.append("the README does not begin with its title")
    blocks = BLOCK.findall(readme)
    if not blocks or "scripts/run-demo" not in blocks[0] or "scripts/test-all" not in blocks[0]:
        problems.append("the README's first command block does not give scripts/run-demo and scripts/test-all")

    options = project_options(source)
    targets = project_targets(source)
    configured = {}  # build folder -> its -D options
    scratch = tempfile.mkdtemp(prefix="readme-")
    try:
        for number, command, expected in commands(readme):
            where = f"block {number}: {command}"
            words = shlex.split(command)
            program = words[0]
            if program == "cmake" and "-B" in words:
                folder = words[words.index("-B") + 1]
                defines = tuple(sorted(w for w in words if w.startswith("-D")))
                for define in defines:
                    if define[2:].split("=")[0] not in options:
                        problems.append(f"{where}: the project has no option {define}")
                if configured.get(folder, defines) != defines:
                    problems.append(f"{where}: {folder} is configured elsewhere with {configured[folder]}")
                configured[folder] = defines
            elif program in ("cmake", "ctest"):
                flag = {"--build": "--build", "--install": "--install"}.get(words[1], "--test-dir")
                folder = words[words.index(flag) + 1] if flag in words else None
                if folder not in configured:
                    problems.append(f"{where}: {folder} is not configured by an earlier command")
                    continue
                named = words[words.index("--target") + 1:] if "--target" in words else []
                for target in (t for t in named if not t.startswith("-")):
                    if target not in targets:
                        problems.append(f"{where}: no target {target}")
                    elif target in UEFI_TARGETS and "-DVEXA_UEFI=OFF" in configured[folder]:
                        problems.append(f"{where}: {folder} is configured without UEFI")
            elif os.path.basename(program) in PROGRAMS or program == "sha256sum":
                if program != "sha256sum":
                    folder = program.split("/runner/")[0]
                    if folder not in configured:
                        problems.append(f"{where}: {folder} is not configured by an earlier command")
                    words[0] = os.path.join(runner, os.path.basename(program))
                line = shlex.join(words[:1]) + command[len(program):]
                run = subprocess.run(["bash", "-c", line], cwd=scratch, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, timeout=300)
                if run.returncode != expected:
                    problems.append(f"{where}: exit code {run.returncode}, expected {expected}:\n"
                                    + run.stdout.decode("utf-8", "replace")[-2000:])
            elif program.startswith("scripts/"):
                script = os.path.join(source, program)
                if not os.access(script, os.X_OK):
                    problems.append(f"{where}: {program} is not an executable script of the tree")
                    continue
                # The folders the script configures can be used after it.
                with open(script) as f:
                    for folder, rest in re.findall(r'-B "\$(?:root|build)[^"]*?([\w-]*)"([^\n]*)', f.read()):
                        configured.setdefault(folder, tuple(sorted(re.findall(r"-D\S+", rest))))
            elif program == "apt-get":
                for package in (w for w in words[2:] if not w.startswith("-")):
                    if shutil.which("dpkg-query") and subprocess.run(
                            ["dpkg-query", "-W", package], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL).returncode != 0:
                        problems.append(f"{where}: dpkg knows no package {package}")
            elif shutil.which(program) is None:
                problems.append(f"{where}: {program} is not a program on PATH")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    for problem in problems:
        print("README:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
