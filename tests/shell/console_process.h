// The vantrel program as a test runs it: a process started in a folder,
// with its output kept in files there, waited for with a bound.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vantrel::testing {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// One vantrel process, started in its own temporary folder.
class Console {
 public:
  Console() : folder_(fs::temp_directory_path() / ("vantrel-console-" + std::to_string(::getpid()) + "-" +
                                                   std::to_string(counter_++))),
              owns_folder_(true) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  // A second program in owner's folder, its output in .stdout-tag and
  // .stderr-tag; the folder stays the owner's.
  Console(const Console& owner, const std::string& tag) : folder_(owner.folder_), output_suffix_("-" + tag) {}
  ~Console() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (owns_folder_) fs::remove_all(folder_);
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  const fs::path& folder() const { return folder_; }

  // stdout to a pipe nobody reads, as after "vantrel | head -c 1" once head has ended.
  void Start(const std::vector<std::string>& arguments, bool stdout_to_closed_pipe = false) {
    std::vector<std::string> argv_text = {VANTREL_CONSOLE_PATH};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::string out = (folder_ / (".stdout" + output_suffix_)).string();
    std::string err = (folder_ / (".stderr" + output_suffix_)).string();
    int pipe_ends[2] = {-1, -1};
    if (stdout_to_closed_pipe) {
      ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
      posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The program works in its current folder: change there around the spawn.
    fs::path here = fs::current_path();
    fs::current_path(folder_);
    int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    fs::current_path(here);
    posix_spawn_file_actions_destroy(&actions);
    if (stdout_to_closed_pipe) {
      ::close(pipe_ends[0]);
      ::close(pipe_ends[1]);
    }
    ASSERT_EQ(rc, 0) << "cannot start " << argv[0];
  }

  // The exit status; a process still running after the bound fails the
  // test, gives -1 and is killed when the Console goes.
  int Wait(std::chrono::seconds bound = std::chrono::seconds(30)) {
    // Nothing signals a child's exit to this thread: ask every few milliseconds.
    auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "vantrel did not end within " << bound.count() << " s; its output so far:\n" << Stdout();
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    if (WIFSIGNALED(status)) return 1000 + WTERMSIG(status);
    return WEXITSTATUS(status);
  }

  int Run(const std::vector<std::string>& arguments) {
    Start(arguments);
    return Wait();
  }

  void Signal(int number) { ::kill(pid_, number); }

  // Output files live in the folder but start with "." to set them apart.
  std::string Stdout() const { return ReadFile(folder_ / (".stdout" + output_suffix_)); }
  std::string Stderr() const { return ReadFile(folder_ / (".stderr" + output_suffix_)); }
  std::string File(const std::string& name) const { return ReadFile(folder_ / name); }
  bool Has(const std::string& name) const { return fs::exists(folder_ / name); }

 private:
  static inline int counter_ = 0;
  fs::path folder_;
  bool owns_folder_ = false;
  std::string output_suffix_;
  pid_t pid_ = -1;
};

}  // namespace vantrel::testing
