"""One run of the real product, the PE32 launcher, under 32-bit Wine.

32-bit programs cannot execute natively on these machines, and a multiarch
install of 32-bit Wine needs every shared library at the same version on both
architectures, which a mirror caught mid-sync cannot give. So nothing i386 is
installed: Debian's i386 Wine packages are downloaded and unpacked into the
build tree, and their 32-bit loader runs under qemu-i386 (binfmt_misc).

The prefix is a 64-bit one made by the installed 64-bit Wine (WoW64): Wine's
own services run natively and only the PE32 launcher and its i686 stub (and
the prefix's few 32-bit set-up steps) are emulated. The stub reports
IsWow64Process for itself and for the launcher: both must be 32-bit
processes. Each Wine command runs in a private mount namespace where
/usr/lib/wine holds the 32-bit loader beside the 64-bit one, and
/usr/lib/i386-linux-gnu the unpacked libraries, where 64-bit Wine looks for
the 32-bit half.

qemu-i386 reserves the guest's address space (QEMU_RESERVED_VA, read by qemu
itself) and searches it page by page, from the top down, on every mmap
without a fixed address. 32-bit Wine reserves everything above 2 GiB for
itself, so with qemu's default of nearly 4 GiB every such search walks half
a million pages: about 80 s per process. A reserve that ends 64 MiB above
2 GiB (room for Wine's own unix libraries; 0x80000000 itself fails at once)
starts the same process in about 6 s, and keeps free the fixed shared user
data page below 2 GiB ("failed to map the shared user data" otherwise).
"""
import os
import shutil
import subprocess
import tempfile
import time

from emulated import Check, read_stub_record, sign_in_place, write_single_file

RESERVED_VA = "0x84000000"
PACKAGES = ["wine32:i386", "libwine:i386", "libc6:i386", "libgcc-s1:i386", "libunwind8:i386",
            "liblzma5:i386"]
I386_WINDOWS = "usr/lib/i386-linux-gnu/wine/i386-windows"
# libwine's postinst makes this from MinGW's zlib (Debian's 32-bit user32.dll
# imports it); an unpack skips the postinst.
ZLIB = "/usr/i686-w64-mingw32/lib/zlib1.dll"

# What a failed 32-bit Wine start printed, and what it means.
CHECK = Check("i686", [
    (b"failed to map the shared user data",
     "qemu-i386 took the address of Wine's shared user data page even with "
     f"QEMU_RESERVED_VA={RESERVED_VA}"),
    (b"Exec format error", "the kernel refused the 32-bit program: the binfmt_misc rule for "
     "qemu-i386 is missing or not in effect"),
    (b"could not load ntdll.so", "32-bit Wine's own libraries are missing from its directory"),
    (b"could not load kernel32.dll", "the prefix has no 32-bit half (syswow64): the 32-bit "
     "loader or zlib1.dll was out of reach when it was made"),
    (b"is a 32-bit installation", "the prefix was made by 32-bit Wine; a 64-bit one is needed"),
    (b"Bad address", "another Wine process (a concurrent test) disturbed this one's wineserver"),
    (b"wineserver crashed", "the Wine server died and its clients waited for it; seen with a "
     "server started ahead of the prefix's creation"),
])
fail, explain, run_logged = CHECK.fail, CHECK.explain, CHECK.run_logged


def wine_builtin(dll):
    """A MinGW DLL marked as Wine builtin, as libwine's postinst writes it."""
    with open(dll, "rb") as f:
        data = f.read()
    return data[:64] + b"Wine builtin DLL" + bytes(16) + data[96:]


def unpack_wine(root):
    """32-bit Wine in `root`, and a folder that stands for /usr/lib/wine."""
    if not os.path.exists("/usr/lib/wine/wine64"):
        fail("64-bit Wine is not installed (apt-get install wine64)")
    if not os.path.exists(ZLIB):
        fail(f"{ZLIB} is missing (apt-get install libz-mingw-w64)")
    zlib = os.path.join(root, I386_WINDOWS, "zlib1.dll")
    CHECK.unpack(root, PACKAGES, os.path.relpath(zlib, root))
    if not os.path.exists(zlib):
        with open(zlib + ".tmp", "wb") as f:
            f.write(wine_builtin(ZLIB))
        os.replace(zlib + ".tmp", zlib)
    # The installed 64-bit loader and server, and the 32-bit loader beside
    # them, where the 64-bit one looks for it. Copied anew: Wine may have
    # been upgraded since.
    loaders = os.path.join(root, "loaders")
    shutil.rmtree(loaders, ignore_errors=True)
    shutil.copytree("/usr/lib/wine", loaders, symlinks=True)
    shutil.copy2(os.path.join(root, "usr/lib/wine/wine"), loaders)
    return [(loaders, "/usr/lib/wine"),
            (os.path.join(root, "usr/lib/i386-linux-gnu"), "/usr/lib/i386-linux-gnu")]


def main():
    build = os.path.dirname(os.path.abspath(os.environ["LAUNCHER"]))
    root = os.path.join(build, "wine-i386")
    CHECK.enable_emulation("i386")
    binds = unpack_wine(root)
    # Its target must exist to be mounted over; an empty folder when libc6:i386
    # is not installed.
    os.makedirs("/usr/lib/i386-linux-gnu", exist_ok=True)
    env = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix-wow64"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", QEMU_LD_PREFIX=root,
               QEMU_RESERVED_VA=RESERVED_VA)
    env.pop("WINEARCH", None)
    wine = "/usr/lib/wine/wine64"
    box = tempfile.mkdtemp(prefix="wine32-smoke-")
    try:
        started = time.monotonic()
        if not os.path.isdir(os.path.join(env["WINEPREFIX"], "drive_c")):
            what = "creating the 64-bit prefix with its 32-bit half"
            status, text = run_logged(CHECK.in_namespace(binds, [wine, "wineboot", "-i"]), env,
                                      os.path.join(box, "boot"), what, timeout=900)
            syswow64 = os.path.join(env["WINEPREFIX"], "drive_c/windows/syswow64/kernel32.dll")
            if status or not os.path.exists(syswow64):
                shutil.rmtree(env["WINEPREFIX"], ignore_errors=True)
                fail(explain(f"{what} failed (status {status}, 32-bit kernel32.dll "
                             f"{'there' if os.path.exists(syswow64) else 'missing'})", text))
        print(f"prefix ready after {time.monotonic() - started:.0f} s", flush=True)
        started = time.monotonic()
        shutil.copy(os.environ["LAUNCHER"], os.path.join(box, "run.exe"))
        stub_copy = os.path.join(box, "stub.exe")
        shutil.copy(os.environ["STUB"], stub_copy)
        to_win = lambda p: "Z:" + p.replace("/", "\\")
        line = f"#!{to_win(stub_copy)} -u\n"
        with open(os.path.join(box, "run-script.py"), "w") as f:
            f.write(line)
        # Signed after it was written, as a site that allows only signed
        # programs does: it must run as it did unsigned.
        write_single_file(os.environ["LAUNCHER"], line.encode(), os.path.join(box, "single.exe"))
        sign_in_place(os.path.join(box, "single.exe"))
        out, bits = os.path.join(box, "out"), os.path.join(box, "bits")
        env.update(STUB_OUT=to_win(out), STUB_STATUS="3", STUB_WOW64=to_win(bits))
        for name, script in (("run.exe", "run-script.py"), ("single.exe", "single.exe")):
            launch = [wine, to_win(os.path.join(box, name)), 'two "wörds" Ωmega']
            status, text = run_logged(CHECK.in_namespace(binds, launch), env,
                                      os.path.join(box, "log"), f"the launch of {name}",
                                      timeout=900)
            print(f"launch of {name} took {time.monotonic() - started:.0f} s", flush=True)
            started = time.monotonic()
            if status != 3:
                fail(explain(f"the launch of {name} ended with status {status}, expected 3", text))
            argv = read_stub_record(out)[1]
            expected = [to_win(stub_copy).encode(), b"-u", to_win(os.path.join(box, script)).encode(),
                        'two "wörds" Ωmega'.encode()]
            if argv != expected:
                fail(f"the stub received {argv!r} from {name}, expected {expected!r}")
            with open(bits, "rb") as f:
                wow64 = f.read()
            if wow64 != b"stub=1 parent=1":
                fail(f"IsWow64Process answered {wow64!r}: the launcher and its child should both "
                     "be 32-bit processes on 64-bit Windows (stub=1 parent=1)")
        print("i686 smoke check passed: the PE32 launcher ran as a 32-bit process, started the "
              "32-bit i686 stub, passed a quoted argument and returned status 3, as a companion "
              "and as a signed single file")
    finally:
        subprocess.run(CHECK.in_namespace(binds, ["/usr/lib/wine/wineserver", "-k"]), env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(box, ignore_errors=True)


if __name__ == "__main__":
    main()
