// Runs the real vexa-sim program and collects what it printed, and makes
// the files such runs need (images, traces) in a private directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vexa_test {

struct SimResult {
  std::string out;        // standard output, byte for byte
  std::string err;        // standard error, byte for byte
  int exitCode = -1;      // -1 when the process did not exit by itself
  bool timedOut = false;  // killed after the time limit
};

// `program` with exactly `args` after its name, run in `workDir` (the
// current directory when empty). The process is killed when it runs longer
// than `timeoutSeconds`.
SimResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir = {}, int timeoutSeconds = 60);

// RunProgram of vexa-sim.
SimResult RunSimRaw(const std::vector<std::string>& args, const std::filesystem::path& workDir = {},
                    int timeoutSeconds = 60);

// vexa-sim BOARD_OPTIONS -- TOOL_ARGS: the tool sees TOOL_ARGS as they are,
// even ones that begin with "--".
SimResult RunSim(const std::vector<std::string>& boardOptions,
                 const std::vector<std::string>& toolArgs,
                 const std::filesystem::path& workDir = {}, int timeoutSeconds = 60);

// The arguments joined by single blanks, for failure messages.
std::string JoinArgs(const std::vector<std::string>& args);

// A fresh directory, removed with its content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Writes a file (sub folders are made as needed) and returns its path.
  std::filesystem::path Write(const std::string& name,
                              const std::vector<std::uint8_t>& bytes) const;
  std::filesystem::path WriteText(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

// `size` bytes of a fixed pseudo-random pattern chosen by `seed`.
std::vector<std::uint8_t> MakeImage(std::size_t size, std::uint32_t seed = 1);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
std::string ReadText(const std::filesystem::path& file);

// The file's lines without their line ends.
std::vector<std::string> ReadLines(const std::filesystem::path& file);

// The lines that begin with `prefix`, in order.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix);

// Index of the first line that begins with `prefix` at or after `from`;
// lines.size() when there is none.
std::size_t FindLine(const std::vector<std::string>& lines, const std::string& prefix,
                     std::size_t from = 0);

}  // namespace vexa_test
