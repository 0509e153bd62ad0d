"""One run of the real product, the PE32 launcher, under 32-bit Wine.

32-bit programs cannot execute natively on these machines; 32-bit Wine runs
under qemu user emulation registered through binfmt_misc. Slow (measured
here: about 10 minutes to create the prefix, about 5 more for the launch),
so this is a single smoke check: launcher, i686 stub, a quoted argument and
a non-zero status. If the machine refuses the emulation, it fails saying so.

qemu-i386 may place its own mappings where 32-bit Wine needs its fixed
shared user data page ("wine: failed to map the shared user data:
c0000018", status 1, nothing else). Reserving the guest address space up
front (QEMU_RESERVED_VA, read by qemu-user itself) keeps that page free.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

BINFMT = "/proc/sys/fs/binfmt_misc"
QEMU_RULE = (r":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00"
             r"\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff"
             r"\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F")


# Reserve the 32-bit guest address space below Wine's fixed pages.
RESERVED_VA = "0xf7000000"

# What a failed 32-bit Wine start printed, and what it means.
KNOWN_FAILURES = [
    (b"failed to map the shared user data",
     "qemu-i386 took the address of Wine's shared user data page even with "
     f"QEMU_RESERVED_VA={RESERVED_VA}"),
    (b"Exec format error", "the kernel refused the 32-bit program: the binfmt_misc rule for "
     "qemu-i386 is missing or not in effect"),
    (b"could not load ntdll.so", "32-bit Wine's own libraries are missing (wine32:i386)"),
    (b"Bad address", "another Wine process (a concurrent test) disturbed this one's wineserver"),
]


def fail(message):
    print("i686 smoke check FAILED: " + message, flush=True)
    sys.exit(1)


def explain(what, log_text):
    """The reason a Wine step failed, from its output, with the output's tail."""
    reasons = [why for needle, why in KNOWN_FAILURES if needle in log_text]
    reason = reasons[0] if reasons else "no known cause in its output"
    tail = log_text[-1500:].decode(errors="replace")
    return f"{what}: {reason}. Output (last 1500 bytes):\n{tail}"


def enable_emulation():
    if not os.path.exists("/usr/bin/qemu-i386-static"):
        fail("qemu-user-static is not installed (apt-get install qemu-user-static)")
    if not os.path.ismount(BINFMT):
        if subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT]).returncode:
            fail("this machine refused to mount binfmt_misc, so 32-bit programs cannot run")
    if not os.path.exists(os.path.join(BINFMT, "qemu-i386")):
        try:
            with open(os.path.join(BINFMT, "register"), "w") as f:
                f.write(QEMU_RULE)
        except OSError as error:
            fail(f"this machine refused the binfmt_misc rule for i386 programs ({error})")


def run_logged(args, env, log_path, what, timeout=1200):
    """Runs a Wine command with its output in a file (a wine server started by
    it would hold a pipe open); returns its status and output."""
    with open(log_path, "wb") as log:
        try:
            status = subprocess.run(args, env=env, stdout=log, stderr=log,
                                    timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            status = None
    with open(log_path, "rb") as log:
        text = log.read()
    if status is None:
        fail(explain(f"{what} did not end within {timeout} s", text))
    return status, text


def main():
    build = os.path.dirname(os.path.abspath(os.environ["LAUNCHER"]))
    stub = os.environ["STUB"]
    enable_emulation()
    wine = shutil.which("wine") or fail("32-bit Wine is not installed (apt-get install wine32:i386)")
    env = dict(os.environ, WINEARCH="win32", WINEPREFIX=os.path.join(build, "wineprefix32"),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               QEMU_RESERVED_VA=RESERVED_VA)
    box = tempfile.mkdtemp(prefix="wine32-smoke-")
    try:
        started = time.monotonic()
        if not os.path.isdir(os.path.join(env["WINEPREFIX"], "drive_c")):
            what = "creating the 32-bit prefix"
            status, text = run_logged([wine, "wineboot", "-i"], env, os.path.join(box, "boot"), what)
            if not os.path.isdir(os.path.join(env["WINEPREFIX"], "drive_c")):
                shutil.rmtree(env["WINEPREFIX"], ignore_errors=True)
                fail(explain(f"{what} failed (status {status})", text))
        print(f"prefix ready after {time.monotonic() - started:.0f} s", flush=True)
        started = time.monotonic()
        shutil.copy(os.environ["LAUNCHER"], os.path.join(box, "run.exe"))
        stub_copy = os.path.join(box, "stub.exe")
        shutil.copy(stub, stub_copy)
        to_win = lambda p: "Z:" + p.replace("/", "\\")
        with open(os.path.join(box, "run-script.py"), "w") as f:
            f.write(f"#!{to_win(stub_copy)} -u\n")
        out = os.path.join(box, "out")
        env.update(STUB_OUT=to_win(out), STUB_STATUS="3")
        status, text = run_logged([wine, os.path.join(box, "run.exe"), 'two "words"'], env,
                                  os.path.join(box, "log"), "the launch")
        print(f"launch took {time.monotonic() - started:.0f} s", flush=True)
        if status != 3:
            fail(explain(f"the launch ended with status {status}, expected 3", text))
        with open(out, "rb") as f:
            argv = f.read().split(b"\0")[1:-1]
        expected = [to_win(stub_copy).encode(), b"-u", to_win(os.path.join(box, "run-script.py")).encode(),
                    b'two "words"']
        if argv != expected:
            fail(f"the stub received {argv!r}, expected {expected!r}")
        print("i686 smoke check passed: PE32 launcher started the i686 stub, "
              "passed a quoted argument and returned status 3")
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(box, ignore_errors=True)


if __name__ == "__main__":
    main()
