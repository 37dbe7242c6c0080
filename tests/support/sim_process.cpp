#include "support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace vexa_test {
namespace {

void ClosePipe(int (&fds)[2]) {
  for (int& fd : fds) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace

SimResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir, int timeoutSeconds) {
  std::vector<std::string> storage;
  storage.push_back(program);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  const std::string dir = workDir.string();

  int outPipe[2] = {-1, -1};
  int errPipe[2] = {-1, -1};
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }

  const pid_t pid = fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  outPipe[1] = errPipe[1] = -1;

  SimResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      result.timedOut = true;
      break;
    }
    const int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;  // closed on our side below
        --open;
      }
    }
  }
  ClosePipe(outPipe);
  ClosePipe(errPipe);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!result.timedOut && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

SimResult RunSimRaw(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                    int timeoutSeconds) {
  return RunProgram(VEXA_SIM_PATH, args, workDir, timeoutSeconds);
}

SimResult RunSim(const std::vector<std::string>& boardOptions,
                 const std::vector<std::string>& toolArgs, const std::filesystem::path& workDir,
                 int timeoutSeconds) {
  std::vector<std::string> args = boardOptions;
  args.push_back("--");
  args.insert(args.end(), toolArgs.begin(), toolArgs.end());
  return RunSimRaw(args, workDir, timeoutSeconds);
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::Write(const std::string& name,
                                     const std::vector<std::uint8_t>& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  if (!stream) throw std::runtime_error("cannot write " + file.string());
  return file;
}

std::filesystem::path TempDir::WriteText(const std::string& name, const std::string& text) const {
  return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string JoinArgs(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) {
    if (!text.empty()) text += ' ';
    text += arg;
  }
  return text;
}

std::vector<std::uint8_t> MakeImage(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(generator() >> 24);
  return bytes;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) throw std::runtime_error("cannot read " + file.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(stream), {});
}

std::string ReadText(const std::filesystem::path& file) {
  const std::vector<std::uint8_t> bytes = ReadBytes(file);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::istringstream stream(ReadText(file));
  std::vector<std::string> lines;
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

std::size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix,
                     std::size_t from) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0) return i;
  }
  return lines.size();
}

}  // namespace vexa_test
