#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace test_support {

Process::Process(const std::vector<std::string>& argv, const std::string& cwd) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string out = capture_.file("stdout");
  const std::string err = capture_.file("stderr");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(pipe_fds[0], STDIN_FILENO);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipe_fds[0]);
  input_ = pipe_fds[1];
}

Process::~Process() {
  kill();
  if (input_ >= 0) close(input_);
}

void Process::send_input(const std::string& text) {
  if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("write to child failed");
  }
}

bool Process::wait_for(std::chrono::milliseconds timeout) {
  if (pid_ < 0) return true;
  return eventually(
      [&] {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return true;
      },
      timeout);
}

void Process::kill() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string Process::output() const { return read_file(capture_.file("stdout")); }
std::string Process::errors() const { return read_file(capture_.file("stderr")); }

bool Process::shows(const std::string& text, std::chrono::milliseconds timeout) const {
  return eventually([&] { return output().find(text) != std::string::npos; }, timeout);
}

}  // namespace test_support
