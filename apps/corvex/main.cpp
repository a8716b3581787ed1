// corvex: the library put to work on image files from the command line.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apps/corvex/tool.h"
#include "corvex/lzw/lzw.h"

namespace corvex::tool {

namespace {
std::vector<Command>& Table() {
  static std::vector<Command> table;
  return table;
}

void PrintHelp() {
  std::printf("usage: corvex COMMAND [ARGUMENTS]\n\nCommands:\n");
  std::vector<Command> sorted = Commands();
  std::sort(sorted.begin(), sorted.end(), [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
  for (const Command& c : sorted) std::printf("  %-10s %s\n             %s %s\n", c.name, c.summary, c.name, c.usage);
  std::printf("\nOptions:\n  --help     this text\n  --version  the version\n\n"
              "Exit status: 0 success, 1 a load or save failed, 2 wrong usage.\n");
}
}  // namespace

void Register(const Command& command) { Table().push_back(command); }
const std::vector<Command>& Commands() { return Table(); }

int Fail(int Status, const std::string& Message) {
  std::fprintf(stderr, "corvex: %s\n", Message.c_str());
  return Status;
}

bool IsAVIFile(const std::string& FileName) {
  std::FILE* f = std::fopen(FileName.c_str(), "rb");
  if (f == nullptr) return false;
  char head[12] = {};
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return n == sizeof head && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

std::string LowerExtension(const std::string& FileName) {
  const size_t dot = FileName.find_last_of('.'), slash = FileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = FileName.substr(dot + 1);
  for (char& c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

bool HasDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
         (platform != nullptr && *platform != '\0');
}

int UsageError(const std::string& CommandName, const std::string& Message) {
  const char* usage = "";
  for (const Command& c : Commands())
    if (CommandName == c.name) usage = c.usage;
  std::fprintf(stderr, "corvex %s: %s\nusage: corvex %s %s\n", CommandName.c_str(), Message.c_str(), CommandName.c_str(),
               usage);
  return kUsage;
}

ProgressBar::ProgressBar(std::string Label) : label_(std::move(Label)), terminal_(isatty(STDERR_FILENO) != 0) {}

void ProgressBar::OnProgress(TObject*, int32_t Percent) {
  if (!terminal_) return;
  const int p = std::clamp(Percent, 0, 100);
  if (p == last_) return;
  last_ = p;
  const int filled = p * 30 / 100;
  std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled, "##############################", 30 - filled, "", p);
  std::fflush(stderr);
  shown_ = true;
}

void ProgressBar::Done() {
  if (shown_) std::fprintf(stderr, "\r%*s\r", int(label_.size()) + 40, "");
  shown_ = false;
}

}  // namespace corvex::tool

int main(int argc, char** argv) {
  using namespace corvex::tool;
  corvex::CXInstallLZW();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintHelp();
    return kUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp();
    return kOk;
  }
  if (args[0] == "--version") {
    std::printf("corvex 0.1.0\n");
    return kOk;
  }
  for (const Command& c : Commands())
    if (args[0] == c.name) {
      try {
        return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
      } catch (const std::exception& e) {
        return Fail(kFailed, e.what());
      }
    }
  return Fail(kUsage, "unknown command '" + args[0] + "' (corvex --help lists them)");
}
