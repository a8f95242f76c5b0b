#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "support/multicast.h"

namespace test_support {

Process::Process(const std::vector<std::string>& argv, const std::string& cwd,
                 const std::string& output, const std::string& input) {
  const std::string out = output.empty() ? capture_.file("stdout") : output;
  const std::string err = capture_.file("stderr");
  start(
      [&] {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644), STDOUT_FILENO);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
      },
      input);
}

Process::Process(const std::function<void()>& work) { start(work, ""); }

void Process::start(const std::function<void()>& in_child, const std::string& input) {
  if (!in_private_namespace()) throw std::runtime_error("not in a private network namespace");
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  input_ = pipe_fds[1];
  send_input(input);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    dup2(pipe_fds[0], STDIN_FILENO);
    in_child();
    _exit(0);
  }
  close(pipe_fds[0]);
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
        exit_signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
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

long Process::status_kib(const std::string& name) const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

std::string Process::output() const { return read_file(capture_.file("stdout")); }
std::string Process::errors() const { return read_file(capture_.file("stderr")); }

std::string from_terminal(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

bool Process::shows(const std::string& text, std::chrono::milliseconds timeout) const {
  return eventually([&] { return output().find(text) != std::string::npos; }, timeout);
}

}  // namespace test_support
