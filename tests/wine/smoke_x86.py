"""One run of the real product, the PE32 launcher, under 32-bit Wine.

32-bit programs cannot execute natively on these machines; 32-bit Wine runs
under qemu user emulation registered through binfmt_misc. Slow (measured
here: about 10 minutes to create the prefix, about 5 more for the launch),
so this is a single smoke check: launcher, i686 stub, a quoted argument and
a non-zero status. If the machine refuses the emulation, it fails saying so.
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


def fail(message):
    print("i686 smoke check FAILED: " + message, flush=True)
    sys.exit(1)


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


def main():
    build = os.path.dirname(os.path.abspath(os.environ["LAUNCHER"]))
    stub = os.environ["STUB"]
    enable_emulation()
    wine = shutil.which("wine") or fail("32-bit Wine is not installed (apt-get install wine32:i386)")
    env = dict(os.environ, WINEARCH="win32", WINEPREFIX=os.path.join(build, "wineprefix32"),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    box = tempfile.mkdtemp(prefix="wine32-smoke-")
    try:
        started = time.monotonic()
        if not os.path.isdir(os.path.join(env["WINEPREFIX"], "drive_c")):
            with open(os.path.join(box, "boot-log"), "wb") as log:
                subprocess.run([wine, "wineboot", "-i"], env=env, stdout=log, stderr=log,
                               timeout=1200, check=False)
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
        with open(os.path.join(box, "log"), "wb") as log:
            # Output into a file: a wine server started here would hold a pipe open.
            result = subprocess.run([wine, os.path.join(box, "run.exe"), 'two "words"'],
                                    env=env, stdout=log, stderr=log, timeout=1200)
        print(f"launch took {time.monotonic() - started:.0f} s", flush=True)
        with open(os.path.join(box, "log"), "rb") as log:
            text = log.read()
        if result.returncode != 3:
            fail(f"status {result.returncode}, expected 3; output: {text!r}")
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
