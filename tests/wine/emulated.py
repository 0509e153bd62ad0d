"""Running Wine for another architecture under qemu user emulation: the
binfmt_misc rule, that architecture's Wine unpacked from Debian's packages
(never installed), private mounts, logged runs, and failures that say why."""
import io
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

BINFMT = "/proc/sys/fs/binfmt_misc"
# ELF magic and machine for each guest, as qemu-user-static's own rules.
RULES = {
    "i386": (r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00",
             r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"),
    "aarch64": (r"\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00",
                r"\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"),
}


def read_stub_record(path):
    """The stub's record (UTF-16LE): its command line, its argv and its
    ANSI code page, each as WTF-8 bytes, so that a lone surrogate shows."""
    with open(path, "rb") as f:
        text = f.read().decode("utf-16-le", "surrogatepass")
    parts = [part.encode("utf-8", "surrogatepass") for part in text.split("\0")]
    return parts[0], parts[1:-1], parts[-1]


def write_single_file(program, line, target):
    """The single-file form of `program`: its bytes, `line` (bytes: an
    interpreter line and its end, as a rule) and a zip archive holding
    __main__.py."""
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("__main__.py", "print('never run by the stub')\n")
    with open(program, "rb") as f:
        data = f.read()
    with open(target, "wb") as f:
        f.write(data + line + archive.getvalue())


def throwaway_certificate(folder):
    """A self-signed code-signing certificate and its key, written to
    `folder`: their paths."""
    cert, key = (os.path.join(folder, name) for name in ("cert.pem", "key.pem"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=launcher test signing",
                    "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, capture_output=True)
    return cert, key


def sign_in_place(path, nest=False):
    """Signs the file at `path` with a throwaway certificate, as a site signs
    a single file after writing it (`nest`: a second signature besides the
    first, in the same table), and verifies the signature."""
    keys = tempfile.mkdtemp(prefix="signing-")
    try:
        cert, key = throwaway_certificate(keys)
        signed = os.path.join(keys, "out")
        for extra in [[], ["-nest"]] if nest else [[]]:
            subprocess.run(["osslsigncode", "sign", *extra, "-certs", cert, "-key", key,
                            "-n", "tool", "-in", path, "-out", signed], check=True,
                           capture_output=True)
            os.replace(signed, path)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path],
                                  capture_output=True, text=True, check=False)
        if "Signature verification: ok" not in verified.stdout:
            raise RuntimeError(f"{path} does not verify: {verified.stdout}{verified.stderr}")
    finally:
        shutil.rmtree(keys, ignore_errors=True)


class Check:
    """One smoke check: its name for messages and what its failures mean."""

    def __init__(self, name, known_failures):
        self.name, self.known_failures = name, known_failures

    def fail(self, message):
        print(f"{self.name} smoke check FAILED: {message}", flush=True)
        sys.exit(1)

    def explain(self, what, log_text):
        """The reason a Wine step failed, from its output, with the output's tail."""
        reasons = [why for needle, why in self.known_failures if needle in log_text]
        reason = reasons[0] if reasons else "no known cause in its output"
        tail = log_text[-1500:].decode(errors="replace")
        return f"{what}: {reason}. Output (last 1500 bytes):\n{tail}"

    def enable_emulation(self, guest):
        qemu = f"/usr/bin/qemu-{guest}-static"
        if not os.path.exists(qemu):
            self.fail("qemu-user-static is not installed (apt-get install qemu-user-static)")
        if not os.path.ismount(BINFMT):
            if subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT]).returncode:
                self.fail(f"this machine refused to mount binfmt_misc, so {guest} programs "
                          "cannot run")
        if not os.path.exists(os.path.join(BINFMT, f"qemu-{guest}")):
            magic, mask = RULES[guest]
            try:
                with open(os.path.join(BINFMT, "register"), "w") as f:
                    f.write(f":qemu-{guest}:M::{magic}:{mask}:{qemu}:F")
            except OSError as error:
                self.fail(f"this machine refused the binfmt_misc rule for {guest} programs "
                          f"({error})")

    def unpack(self, root, packages, done_marker):
        """Downloads `packages` and unpacks them into `root`, unless the file
        `done_marker` (relative to `root`) shows an earlier unpack finished."""
        if os.path.exists(os.path.join(root, done_marker)):
            return
        shutil.rmtree(root, ignore_errors=True)
        debs = root + "-debs"
        shutil.rmtree(debs, ignore_errors=True)
        os.makedirs(debs)
        got = subprocess.run(["apt-get", "download", *packages], cwd=debs, capture_output=True)
        if got.returncode:
            errors = [line.strip() for line in got.stderr.decode(errors="replace").splitlines()
                      if line.startswith("E:")] or [f"apt-get status {got.returncode}"]
            self.fail(f"could not download {self.name} Wine ({' '.join(packages)}): "
                      f"{'; '.join(errors)}")
        for deb in sorted(os.listdir(debs)):
            subprocess.run(["dpkg-deb", "-x", os.path.join(debs, deb), root], check=True)
        shutil.rmtree(debs)

    def in_namespace(self, binds, args):
        """`args` run in a private mount namespace with each (source, target)
        of `binds` mounted over its target: nothing outside sees the mounts."""
        if not shutil.which("unshare"):
            self.fail("unshare (util-linux) is needed for a private mount namespace")
        mounts = " && ".join(f'mount --bind "${2 * i + 1}" "${2 * i + 2}"'
                             for i in range(len(binds)))
        flat = [path for pair in binds for path in pair]
        # sh -c numbers its arguments from $0: a placeholder takes it.
        script = f'{mounts} && shift {2 * len(binds)} && exec "$@"'
        return ["unshare", "--mount", "--propagation", "private", "sh", "-c", script, "sh",
                *flat, *args]

    def run_logged(self, args, env, log_path, what, timeout=1200):
        """Runs a Wine command with its output in a file (a wine server started
        by it would hold a pipe open); returns its status and output."""
        with open(log_path, "wb") as log:
            try:
                status = subprocess.run(args, env=env, stdout=log, stderr=log,
                                        timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                status = None
        with open(log_path, "rb") as log:
            text = log.read()
        if status is None:
            self.fail(self.explain(f"{what} did not end within {timeout} s", text))
        return status, text
