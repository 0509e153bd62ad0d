"""What the launcher costs: time against a direct start, instructions,
sizes and peak memory. Prints a Markdown table."""
import io
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
LAUNCHER = os.path.join(BUILD, "native", "launcher")
RUNS = int(os.environ.get("BENCH_RUNS", "300"))


def spawn_and_wait(argv, env):
    """Wall time of one start-to-end."""
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, env)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter_ns() - start
    assert os.waitstatus_to_exitcode(status) == 0, argv
    return elapsed


def peak_rss_kib(argv, env):
    """VmHWM of the process itself, read while its interpreter sleeps (the
    rusage of a vfork-started child also counts its parent's memory)."""
    pid = os.posix_spawn(argv[0], argv, env)
    time.sleep(0.15)
    with open(f"/proc/{pid}/status") as f:
        hwm = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
    os.waitpid(pid, 0)
    return hwm


def instructions(argv, env):
    with tempfile.NamedTemporaryFile() as out:
        result = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out.name}",
                                 *argv], env=env, capture_output=True, text=True, check=True)
        for line in open(out.name):
            if line.startswith("summary:") or line.startswith("totals:"):
                return int(line.split()[1])
    raise RuntimeError(result.stderr)


def main():
    work = tempfile.mkdtemp(prefix="launcher-bench-")
    try:
        tiny, sleeper = os.path.join(work, "tiny"), os.path.join(work, "sleeper")
        for program in (tiny, sleeper):
            source = os.path.join(ROOT, "bench", os.path.basename(program) + ".c")
            subprocess.run(["gcc", "-O2", "-static", "-o", program, source], check=True)
        pybin = os.path.join(work, "pybin")
        os.makedirs(pybin)
        shutil.copy(tiny, os.path.join(pybin, "python3"))
        for name, line in (("absolute", f"#!{tiny}\n"), ("relative", "#!python.exe\n"),
                           ("sleeping", f"#!{sleeper}\n")):
            shutil.copy(LAUNCHER, os.path.join(work, name))
            with open(os.path.join(work, name + "-script.py"), "w") as f:
                f.write(line)
        # The single-file form: the launcher, the line, an archive.
        archive = io.BytesIO()
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("__main__.py", "pass\n")
        single = os.path.join(work, "single")
        with open(LAUNCHER, "rb") as program, open(single, "wb") as f:
            f.write(program.read() + f"#!{tiny}\n".encode() + archive.getvalue())
        os.chmod(single, 0o755)
        env = {"PATH": pybin + ":/usr/bin:/bin"}
        cases = {
            "direct": [tiny],
            "launcher, absolute": [os.path.join(work, "absolute")],
            "launcher, PATH search": [os.path.join(work, "relative")],
            "launcher, single file (absolute)": [single],
        }
        times = {name: [] for name in cases}
        for _ in range(20):  # warm the caches
            for argv in cases.values():
                spawn_and_wait(argv, env)
        for _ in range(RUNS):  # interleaved, so that noise hits every case alike
            for name, argv in cases.items():
                times[name].append(spawn_and_wait(argv, env))
        direct = statistics.median(times["direct"])

        print(f"Machine: {platform.node()}, {platform.processor() or platform.machine()}, "
              f"{os.cpu_count()} cores, Linux {platform.release()}; {RUNS} interleaved runs each\n")
        print("| start | median (ms) | vs direct | launcher instructions |")
        print("|---|---|---|---|")
        for name, argv in cases.items():
            median = statistics.median(times[name])
            count = "-" if name == "direct" else f"{instructions(argv, env):,}"
            print(f"| {name} | {median / 1e6:.3f} | {median / direct:.2f}x | {count} |")
        launcher_rss = peak_rss_kib([os.path.join(work, "sleeping")], env)
        interpreter_rss = peak_rss_kib([sleeper], env)
        print(f"\nPeak resident memory: launcher {launcher_rss} KiB "
              f"(a static C program that only sleeps: {interpreter_rss} KiB)")
        print("\n| file | size (bytes) | size (KiB) | bar (KiB) | goal (KiB) |")
        print("|---|---|---|---|---|")
        for preset, bar in (("windows-x86", 12), ("windows-x64", 13), ("windows-arm64", 13)):
            console = os.path.join(preset, "launcher.exe")
            print(size_row(console, bar, 8))
            # The windowless program: at most a KiB over its console twin.
            print(size_row(os.path.join(preset, "launcherw.exe"),
                           f"{file_size(console) / 1024 + 1:.1f}", "-"))
        print(size_row(os.path.join("native", "launcher"), "-", "-"))
        libs = subprocess.run(["ldd", LAUNCHER], capture_output=True, text=True).stdout
        needed = [l.split()[0] for l in libs.splitlines() if "=>" in l]
        print(f"\nShared libraries of the native launcher: {', '.join(needed) or 'none (static)'}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def file_size(relative):
    path = os.path.join(BUILD, relative)
    return os.path.getsize(path) if os.path.exists(path) else 0


def size_row(relative, bar, goal):
    size = file_size(relative)
    return (f"| build/{relative} | {f'{size:,}' if size else 'not built'} | {size / 1024:.1f} "
            f"| {bar} | {goal} |")


if __name__ == "__main__":
    sys.exit(main())
