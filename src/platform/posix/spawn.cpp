// Starting the interpreter on POSIX. The child receives exactly the
// arguments a Windows child's runtime would split from the joined, quoted
// command line. While it runs, keyboard interrupts belong to it (it shares
// our process group), termination requests are passed on to it, and it is
// told to end if we are killed.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>

#include "cmdline/cmdline.h"
#include "platform/heap.h"
#include "platform/join_arguments.h"
#include "platform/platform.h"

namespace platform {
namespace {

volatile sig_atomic_t running_child = 0;

void forward_signal(int sig) {
  if (running_child > 0) kill(running_child, sig);
}

// The dispositions changed while the child runs, and what they were before.
struct SignalState {
  struct sigaction old_int, old_quit, old_term, old_hup;
  sigset_t old_mask;
};

void take_signals(SignalState* saved) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction forward {};
  forward.sa_handler = forward_signal;
  forward.sa_flags = SA_RESTART;
  sigemptyset(&forward.sa_mask);
  // Held back until the child's pid is known, so none is lost.
  sigset_t hold;
  sigemptyset(&hold);
  sigaddset(&hold, SIGTERM);
  sigaddset(&hold, SIGHUP);
  sigprocmask(SIG_BLOCK, &hold, &saved->old_mask);
  sigaction(SIGINT, &ignore, &saved->old_int);
  sigaction(SIGQUIT, &ignore, &saved->old_quit);
  sigaction(SIGTERM, &forward, &saved->old_term);
  sigaction(SIGHUP, &forward, &saved->old_hup);
}

void restore_dispositions(const SignalState& saved) {
  sigaction(SIGINT, &saved.old_int, nullptr);
  sigaction(SIGQUIT, &saved.old_quit, nullptr);
  sigaction(SIGTERM, &saved.old_term, nullptr);
  sigaction(SIGHUP, &saved.old_hup, nullptr);
}

// Runs in the vfork child, sharing our memory: only system calls, and the
// one write of exec_error that tells the parent the exec failed.
[[noreturn]] void exec_child(const char* path, char* const* argv, const SignalState& saved,
                             pid_t parent, volatile int* exec_error) {
  restore_dispositions(saved);
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);  // we died before the line above
#else
  (void)parent;
#endif
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(path, argv);
  *exec_error = errno;
  _exit(127);
}

// Ends this process the way the child ended: by the same signal, with its
// default action, or failing that with 128 + the signal number.
int end_like_child(int sig) {
  const struct rlimit no_core {};
  setrlimit(RLIMIT_CORE, &no_core);  // the core would be ours, not the child's
  signal(sig, SIG_DFL);
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, sig);
  sigprocmask(SIG_UNBLOCK, &just, nullptr);
  raise(sig);
  return 128 + sig;
}

// The child's own argument vector, as its runtime would split the line.
cmdline::TokenList child_argv(HeapArray<char>* line, const char* const* quoted) {
  *line = join_arguments(quoted);
  if (!*line) return {};
  cmdline::TokenList args = cmdline::split_command_line(line->get());
  if (args.count > 0) args.tokens[static_cast<std::size_t>(args.count)] = nullptr;
  return args;
}

}  // namespace

SpawnResult spawn_and_wait(const char* path, const char* const* quoted_argv) noexcept {
  HeapArray<char> line;
  const cmdline::TokenList args = child_argv(&line, quoted_argv);
  if (args.count == 0) return {false, 0};

  SignalState saved{};
  take_signals(&saved);
  volatile int exec_error = 0;
  const pid_t parent = getpid();
  const pid_t pid = vfork();
  if (pid == 0) exec_child(path, args.tokens.get(), saved, parent, &exec_error);

  int status = 0;
  if (pid > 0 && exec_error == 0) {
    running_child = pid;
    sigprocmask(SIG_SETMASK, &saved.old_mask, nullptr);
    // Its end is awaited without reaping it: a zombie's pid cannot be
    // reused, so the pid is forgotten before the reap, and a signal that
    // comes in between reaches no other process.
    siginfo_t ended{};
    while (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    running_child = 0;
  }
  if (pid > 0) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  restore_dispositions(saved);
  sigprocmask(SIG_SETMASK, &saved.old_mask, nullptr);

  if (pid < 0 || exec_error != 0) return {false, 0};
  if (WIFSIGNALED(status)) return {true, end_like_child(WTERMSIG(status))};
  return {true, WEXITSTATUS(status)};
}

}  // namespace platform
