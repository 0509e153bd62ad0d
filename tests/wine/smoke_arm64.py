"""One run of the ARM64 launcher under arm64 Wine, emulated by qemu-aarch64.

Debian's arm64 Wine cannot be installed beside the amd64 one (Multi-Arch:
foreign), so its packages are unpacked into a directory of their own, and
qemu finds its libraries there (QEMU_LD_PREFIX). Wine starts its server from
/usr/lib/wine, where the amd64 server lives, which refuses ARM64 programs:
each Wine command runs in a private mount namespace with the arm64 Wine's
own directory mounted over that one. One check: the launcher starts a stub
interpreter with a quoted argument and passes its non-zero status on.
"""
import os
import shutil
import subprocess
import tempfile
import time

from emulated import Check, sign_in_place, write_single_file

PACKAGES = ["wine64:arm64", "libwine:arm64", "libc6:arm64", "libgcc-s1:arm64",
            "libunwind8:arm64", "liblzma5:arm64"]

CHECK = Check("ARM64", [
    (b"doesn't support the aa64 architecture",
     "the amd64 wineserver was started instead of the arm64 one"),
    (b"Exec format error", "the kernel refused the arm64 program: the binfmt_misc rule for "
     "qemu-aarch64 is missing or not in effect"),
    (b"could not load ntdll.so", "arm64 Wine's own libraries are missing from its directory"),
])


def main():
    build = os.path.dirname(os.path.abspath(os.environ["LAUNCHER"]))
    root = os.path.join(build, "wine-arm64")
    CHECK.enable_emulation("aarch64")
    CHECK.unpack(root, PACKAGES, "usr/lib/wine/wine64")
    env = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix-arm64"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", QEMU_LD_PREFIX=root)

    def in_namespace(*args):
        return CHECK.in_namespace([(os.path.join(root, "usr/lib/wine"), "/usr/lib/wine")], args)

    wine = "/usr/lib/wine/wine64"
    box = tempfile.mkdtemp(prefix="wine-arm64-smoke-")
    try:
        started = time.monotonic()
        if not os.path.isdir(os.path.join(env["WINEPREFIX"], "drive_c")):
            what = "creating the arm64 prefix"
            status, text = CHECK.run_logged(in_namespace(wine, "wineboot", "-i"), env,
                                            os.path.join(box, "boot"), what, timeout=900)
            if not os.path.isdir(os.path.join(env["WINEPREFIX"], "drive_c")):
                shutil.rmtree(env["WINEPREFIX"], ignore_errors=True)
                CHECK.fail(CHECK.explain(f"{what} failed (status {status})", text))
        print(f"prefix ready after {time.monotonic() - started:.0f} s", flush=True)
        started = time.monotonic()
        shutil.copy(os.environ["LAUNCHER"], os.path.join(box, "run.exe"))
        stub = os.path.join(box, "stub.exe")
        shutil.copy(os.environ["STUB"], stub)
        to_win = lambda p: "Z:" + p.replace("/", "\\")
        line = f"#!{to_win(stub)} -u\n"
        with open(os.path.join(box, "run-script.py"), "w") as f:
            f.write(line)
        # Signed after it was written, as a site that allows only signed
        # programs does: it must run as it did unsigned.
        write_single_file(os.environ["LAUNCHER"], line.encode(), os.path.join(box, "single.exe"))
        sign_in_place(os.path.join(box, "single.exe"))
        out = os.path.join(box, "out")
        env.update(STUB_OUT=to_win(out), STUB_STATUS="3")
        for name, script in (("run.exe", "run-script.py"), ("single.exe", "single.exe")):
            status, text = CHECK.run_logged(
                in_namespace(wine, to_win(os.path.join(box, name)), 'two "words"'), env,
                os.path.join(box, "log"), f"the launch of {name}", timeout=600)
            print(f"launch of {name} took {time.monotonic() - started:.0f} s", flush=True)
            started = time.monotonic()
            if status != 3:
                CHECK.fail(CHECK.explain(f"the launch of {name} ended with status {status}, "
                                         "expected 3", text))
            with open(out, "rb") as f:
                received = f.read()
            script_path = to_win(os.path.join(box, script))
            expected = f'"{to_win(stub)}" "-u" "{script_path}" "two \\"words\\""'.encode()
            if received != expected:
                CHECK.fail(f"the stub received {received!r} from {name}, expected {expected!r}")
        print("ARM64 smoke check passed: the ARM64 launcher started the ARM64 stub, "
              "passed a quoted argument and returned status 3, as a companion and as a "
              "signed single file")
    finally:
        subprocess.run(in_namespace("/usr/lib/wine/wineserver64", "-k"), env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(box, ignore_errors=True)


if __name__ == "__main__":
    main()
