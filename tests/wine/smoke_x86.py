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
import tempfile
import time

from emulated import Check

# Reserve the 32-bit guest address space below Wine's fixed pages.
RESERVED_VA = "0xf7000000"

# What a failed 32-bit Wine start printed, and what it means.
CHECK = Check("i686", [
    (b"failed to map the shared user data",
     "qemu-i386 took the address of Wine's shared user data page even with "
     f"QEMU_RESERVED_VA={RESERVED_VA}"),
    (b"Exec format error", "the kernel refused the 32-bit program: the binfmt_misc rule for "
     "qemu-i386 is missing or not in effect"),
    (b"could not load ntdll.so", "32-bit Wine's own libraries are missing (wine32:i386)"),
    (b"Bad address", "another Wine process (a concurrent test) disturbed this one's wineserver"),
    (b"wineserver crashed", "the Wine server died and its clients waited for it; seen with a "
     "server started ahead of the prefix's creation"),
])
fail, explain, run_logged = CHECK.fail, CHECK.explain, CHECK.run_logged


def main():
    build = os.path.dirname(os.path.abspath(os.environ["LAUNCHER"]))
    stub = os.environ["STUB"]
    CHECK.enable_emulation("i386")
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
