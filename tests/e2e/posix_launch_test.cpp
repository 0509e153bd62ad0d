// The built launcher, run for real on this system against a stub
// interpreter and the real python3.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "zip_bytes.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// NUL-separated arguments as the stub writes them.
std::vector<std::string> recorded_args(const fs::path& path) {
  const std::string text = read_file(path);
  std::vector<std::string> args;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\0', at);
    args.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return args;
}

struct Outcome {
  pid_t pid = 0;
  int wait_status = 0;
  std::string err;
  std::string out;
  [[nodiscard]] int status() const {
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  }
};

class Sandbox {
 public:
  Sandbox() {
    char dir[] = "/tmp/launcher-e2e-XXXXXX";
    root_ = mkdtemp(dir);
  }
  ~Sandbox() { fs::remove_all(root_); }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  [[nodiscard]] const fs::path& root() const { return root_; }

  // A launcher copy at root/relative with its companion script.
  fs::path install(const std::string& relative, const std::string& script_text) {
    const fs::path launcher = root_ / relative;
    fs::create_directories(launcher.parent_path());
    fs::copy_file(LAUNCHER_PATH, launcher);
    write_file(launcher.string() + "-script.py", script_text);
    return launcher;
  }

  // A single file at root/relative: the launcher, then `tail` (an
  // interpreter line and an archive, as a rule).
  fs::path install_single(const std::string& relative, const std::string& tail) {
    const fs::path launcher = root_ / relative;
    fs::create_directories(launcher.parent_path());
    write_file(launcher, read_file(LAUNCHER_PATH) + tail);
    fs::permissions(launcher, fs::perms::owner_all);
    return launcher;
  }

  fs::path copy_stub(const std::string& relative) {
    const fs::path stub = root_ / relative;
    fs::create_directories(stub.parent_path());
    fs::copy_file(STUB_PATH, stub);
    return stub;
  }

  // The working directory the launcher starts in (default: ours).
  void set_cwd(const fs::path& dir) { cwd_ = dir; }

  void set(const std::string& name, const std::string& value) {
    std::erase_if(env_, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
    env_.push_back(name + "=" + value);
  }

  // Starts the launcher in its own process group; output goes to files.
  Outcome start(const fs::path& launcher, const std::vector<std::string>& args) {
    std::vector<std::string> argv_text = {launcher.string()};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = env_;
    for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (root_ / "stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (root_ / "stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd_.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd_.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    Outcome run;
    EXPECT_EQ(posix_spawn(&run.pid, argv[0], &actions, &attr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return run;
  }

  Outcome finish(Outcome run) {
    waitpid(run.pid, &run.wait_status, 0);
    run.err = read_file(root_ / "stderr");
    run.out = read_file(root_ / "stdout");
    return run;
  }

  Outcome run(const fs::path& launcher, const std::vector<std::string>& args = {}) {
    return finish(start(launcher, args));
  }

 private:
  fs::path root_;
  fs::path cwd_;
  std::vector<std::string> env_;
};

bool wait_for_file(const fs::path& path) {
  for (int i = 0; i < 500; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class PosixLaunch : public ::testing::Test {
 protected:
  void SetUp() override { box.set("STUB_OUT", (box.root() / "args").string()); }
  Sandbox box;
};

TEST_F(PosixLaunch, ArgumentsArriveUnchanged) {
  const fs::path launcher =
      box.install("bin/tool", std::string("#!") + STUB_PATH + " -u \"-c x\"\n");
  std::vector<std::string> args = {"",
                                   " ",
                                   "a b",
                                   "a\"b",
                                   "\"",
                                   "\\",
                                   "a\\",
                                   "a\\\\\"b",
                                   "tab\there",
                                   "new\nline",
                                   "\xe4\xbd\xa0\xff",
                                   "*",
                                   "--"};
  std::mt19937 rng(7);
  const std::string alphabet = " \t\"\\\\ab\x80\xff";
  for (int i = 0; i < 40; ++i) {
    std::string arg;
    for (int n = static_cast<int>(rng() % 10); n > 0; --n) arg += alphabet[rng() % alphabet.size()];
    args.push_back(arg);
  }
  const Outcome run = box.run(launcher, args);
  EXPECT_EQ(run.status(), 0) << run.err;
  std::vector<std::string> expected = {STUB_PATH, "-u", "-c x", launcher.string() + "-script.py"};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(recorded_args(box.root() / "args"), expected);
  EXPECT_EQ(run.err, "");
}

TEST_F(PosixLaunch, ExitStatusAndSignalPassThrough) {
  const fs::path launcher = box.install("tool", std::string("#!") + STUB_PATH);
  for (const int status : {0, 3, 255}) {
    box.set("STUB_STATUS", std::to_string(status));
    const Outcome run = box.run(launcher);
    EXPECT_EQ(run.status(), status);
    EXPECT_EQ(run.err, "");
  }
  for (const int sig : {SIGTERM, SIGSEGV, SIGKILL}) {
    box.set("STUB_SIGNAL", std::to_string(sig));
    const Outcome run = box.run(launcher);
    ASSERT_TRUE(WIFSIGNALED(run.wait_status)) << sig;
    EXPECT_EQ(WTERMSIG(run.wait_status), sig);
  }
}

struct FailureCase {
  const char* name;
  std::string script;  // empty: no companion script
  std::string message;
};

TEST_F(PosixLaunch, FailuresPrintOneMessageAndEndWithTwo) {
  const fs::path launcher = box.install("bin/tool", "");
  const std::string companion = launcher.string() + "-script.py";
  const FailureCase cases[] = {
      {"missing script", "", "Cannot open " + companion + "\n"},
      {"missing interpreter", "#!/no/such/python -u", "Cound not exec /no/such/python"},
      {"not a program", "#!" + companion, "Cound not exec " + companion},
  };
  for (const auto& c : cases) {
    fs::remove(companion);
    if (!c.script.empty()) write_file(companion, c.script);
    const Outcome run = box.run(launcher, {"x"});
    EXPECT_EQ(run.status(), 2) << c.name;
    EXPECT_EQ(run.err, c.message) << c.name;
  }
}

TEST_F(PosixLaunch, RelativeInterpreterIsSearchedOnPath) {
  const fs::path stub = box.copy_stub("pybin/python3");
  box.copy_stub("Py/python.exe");  // the fallback, which must not win
  const fs::path launcher = box.install("Py/Scripts/tool", "#!python.exe -E\n");
  box.set("PATH", "/nonexistent:" + stub.parent_path().string());
  const Outcome run = box.run(launcher, {"a"});
  EXPECT_EQ(run.status(), 0) << run.err;
  EXPECT_EQ(recorded_args(box.root() / "args"),
            (std::vector<std::string>{stub.string(), "-E", launcher.string() + "-script.py", "a"}));
}

// As execvp: an empty entry is the working directory, a relative one is
// taken from it; either way the interpreter is started by its full path.
TEST_F(PosixLaunch, PathEntriesEmptyAndRelative) {
  const fs::path in_work = box.copy_stub("work/python3");
  const fs::path in_bin = box.copy_stub("work/bin/python3");
  box.copy_stub("Py/python.exe");  // the fallback, which must not win
  const fs::path launcher = box.install("Py/Scripts/tool", "#!python.exe\n");
  box.set_cwd(box.root() / "work");
  const std::pair<std::string, fs::path> cases[] = {
      {"/nonexistent::bin", in_work},
      {"/nonexistent:bin:", in_bin},
      {"/nonexistent:", in_work},
      {"./bin", box.root() / "work" / "." / "bin" / "python3"},
  };
  for (const auto& [path, expected] : cases) {
    box.set("PATH", path);
    const Outcome run = box.run(launcher);
    EXPECT_EQ(run.status(), 0) << path << ": " << run.err;
    EXPECT_EQ(recorded_args(box.root() / "args").front(), expected.string()) << path;
  }
}

TEST_F(PosixLaunch, NothingFoundFallsBackToTheDirectoryAbove) {
  const fs::path stub = box.copy_stub("Py/mypython");
  const fs::path launcher = box.install("Py/Scripts/tool", "#!mypython\n");
  box.set("PATH", (box.root() / "empty").string());
  const Outcome run = box.run(launcher);
  EXPECT_EQ(run.status(), 0) << run.err;
  EXPECT_EQ(recorded_args(box.root() / "args").front(), stub.string());
}

// An environment copied elsewhere runs its own interpreter, found from
// the launcher's directory, not the one on PATH; a byte-order mark before
// "#!" changes nothing.
TEST_F(PosixLaunch, LauncherDirMovesWithItsEnvironment) {
  box.copy_stub("env/py/python3");
  box.install("env/bin/tool", "\xEF\xBB\xBF#!\"<launcher_dir>/../py/python3\" -E\n");
  fs::copy(box.root() / "env", box.root() / "moved env", fs::copy_options::recursive);
  fs::remove_all(box.root() / "env");
  box.set("PATH", box.copy_stub("pybin/python3").parent_path().string());
  const Outcome run = box.run(box.root() / "moved env/bin/tool", {"a"});
  EXPECT_EQ(run.status(), 0) << run.err;
  const fs::path moved = box.root() / "moved env";
  EXPECT_EQ(recorded_args(box.root() / "args"),
            (std::vector<std::string>{(moved / "py/python3").string(), "-E",
                                      (moved / "bin/tool-script.py").string(), "a"}));
}

// A tree renamed with its recorded interpreter runs the one beside it.
TEST_F(PosixLaunch, RenamedTreeRunsItsOwnInterpreter) {
  box.copy_stub("env/bin/python3");
  box.install("env/bin/tool", "#!" + (box.root() / "env/bin/python3").string() + " -E\n");
  fs::rename(box.root() / "env", box.root() / "moved env");
  const fs::path bin = box.root() / "moved env/bin";
  EXPECT_EQ(box.run(bin / "tool").status(), 0);
  EXPECT_EQ(recorded_args(box.root() / "args"),
            (std::vector<std::string>{bin / "python3", "-E", bin / "tool-script.py"}));
}

TEST_F(PosixLaunch, RealPython) {
  const fs::path launcher = box.install(
      "tool", "#!python3 -I\nimport sys\nprint(repr(sys.argv[1:]))\nsys.exit(len(sys.argv))\n");
  const Outcome run = box.run(launcher, {"a b", "", "q\"uote", "back\\\\", "\xc3\xa9"});
  EXPECT_EQ(run.status(), 6) << run.err;
  EXPECT_EQ(run.out, "['a b', '', 'q\"uote', 'back\\\\\\\\', 'é']\n");
}

struct SingleFileCase {
  const char* name;
  std::string line;
  std::string comment;
};

// The launcher with an archive appended runs python3 on itself, whatever
// the companion beside it says; python3 runs the archive's __main__.py.
TEST_F(PosixLaunch, SingleFileRunsItsArchive) {
  const std::string main_py =
      "import sys\nprint(repr(sys.argv), sys.flags.isolated)\nsys.exit(len(sys.argv))\n";
  const SingleFileCase cases[] = {
      {"LF", "#!python3 -I\n", ""},
      {"CRLF", "#!python3 -I\r\n", ""},
      {"a zip comment", "#!python3 -I\n", "made by hand"},
  };
  for (const auto& c : cases) {
    const fs::path launcher =
        box.install_single("bin/tool", c.line + zip::archive(main_py, c.comment));
    write_file(launcher.string() + "-script.py", std::string("#!") + STUB_PATH + "\n");
    const Outcome run = box.run(launcher, {"a b", ""});
    EXPECT_EQ(run.status(), 3) << c.name << ": " << run.err;
    EXPECT_EQ(run.out, "['" + launcher.string() + "', 'a b', ''] 1\n") << c.name;
    fs::remove(launcher);
  }
}

// A tail that is no archive (here cut by a byte) leaves the companion to
// run, as it always did.
TEST_F(PosixLaunch, SingleFileWithABadTailRunsTheCompanion) {
  const std::string zip = zip::archive();
  const fs::path launcher =
      box.install_single("tool", "#!python3\n" + zip.substr(0, zip.size() - 1));
  write_file(launcher.string() + "-script.py", std::string("#!") + STUB_PATH + "\n");
  const Outcome run = box.run(launcher, {"x"});
  EXPECT_EQ(run.status(), 0) << run.err;
  EXPECT_EQ(recorded_args(box.root() / "args"),
            (std::vector<std::string>{STUB_PATH, launcher.string() + "-script.py", "x"}));
}

TEST_F(PosixLaunch, InterruptBelongsToTheScript) {
  const fs::path launcher = box.install("tool", std::string("#!") + STUB_PATH);
  box.set("STUB_TRAP", "42");
  box.set("STUB_READY", (box.root() / "ready").string());
  Outcome run = box.start(launcher, {});
  ASSERT_TRUE(wait_for_file(box.root() / "ready"));
  kill(-run.pid, SIGINT);  // as a terminal does: the whole process group
  run = box.finish(run);
  ASSERT_TRUE(WIFEXITED(run.wait_status));
  EXPECT_EQ(run.status(), 42);
}

TEST_F(PosixLaunch, TerminationIsPassedOnToTheScript) {
  const fs::path launcher = box.install("tool", std::string("#!") + STUB_PATH);
  box.set("STUB_READY", (box.root() / "ready").string());
  box.set("STUB_SLEEP_MS", "5000");
  box.set("STUB_WAKE", (box.root() / "woke").string());
  Outcome run = box.start(launcher, {});
  ASSERT_TRUE(wait_for_file(box.root() / "ready"));
  kill(run.pid, SIGTERM);
  run = box.finish(run);
  ASSERT_TRUE(WIFSIGNALED(run.wait_status));
  EXPECT_EQ(WTERMSIG(run.wait_status), SIGTERM);
  EXPECT_FALSE(fs::exists(box.root() / "woke"));
}

TEST_F(PosixLaunch, KilledLauncherTakesTheInterpreterWithIt) {
  const fs::path launcher = box.install("tool", std::string("#!") + STUB_PATH);
  box.set("STUB_READY", (box.root() / "ready").string());
  box.set("STUB_SLEEP_MS", "1500");
  box.set("STUB_WAKE", (box.root() / "woke").string());
  Outcome run = box.start(launcher, {});
  ASSERT_TRUE(wait_for_file(box.root() / "ready"));
  kill(run.pid, SIGKILL);
  box.finish(run);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_FALSE(fs::exists(box.root() / "woke"));
}

TEST_F(PosixLaunch, DetachedGrandchildOutlivesTheScript) {
  const fs::path marker = box.root() / "grandchild";
  const fs::path launcher =
      box.install("tool",
                  "#!python3\nimport subprocess, sys\n"
                  "subprocess.Popen(['sh', '-c', 'sleep 1; touch \"$0\"', sys.argv[1]],"
                  " start_new_session=True)\n");
  const Outcome run = box.run(launcher, {marker.string()});
  EXPECT_EQ(run.status(), 0) << run.err;
  EXPECT_TRUE(wait_for_file(marker));
}

}  // namespace
