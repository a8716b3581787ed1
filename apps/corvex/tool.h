// The corvex command-line tool: each command lives in a source file of its own and registers
// itself by name; main() dispatches to it.
//
// Exit status: 0 success, 1 a load, save or operation failed (one line on standard error names
// the file and what failed), 2 wrong usage.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "corvex/core/defs.h"

namespace corvex::tool {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Command {
  const char* name;
  const char* usage;    // arguments after the command name, e.g. "IN OUT [--index N]"
  const char* summary;  // one line for --help
  int (*run)(const std::vector<std::string>& args);  // the arguments after the command name
};

// Adds a command to the table (called by the registrars below, before main runs).
void Register(const Command& command);
const std::vector<Command>& Commands();

struct Registrar {
  explicit Registrar(const Command& c) { Register(c); }
};

// Prints "corvex: <message>" on standard error and returns Status.
int Fail(int Status, const std::string& Message);
// Prints the message and the command's usage line on standard error; returns kUsage.
int UsageError(const std::string& CommandName, const std::string& Message);

// True for a RIFF file of form "AVI " (whatever its name).
bool IsAVIFile(const std::string& FileName);
// The extension after the last dot of the file's name, lower-cased, without the dot ("" for none).
std::string LowerExtension(const std::string& FileName);
// True when a window can be opened: an X or Wayland display, or a Qt platform chosen by name.
bool HasDisplay();

// A progress bar on standard error, shown only when it is a terminal. Hand Event() to a
// component's OnProgress or a progress record; Done() ends the line.
class ProgressBar : public TObject {
 public:
  explicit ProgressBar(std::string Label);
  ~ProgressBar() override { Done(); }
  TCXProgressEvent Event() { return TCXProgressEvent(this, &ProgressBar::OnProgress); }
  void Done();

 private:
  void OnProgress(TObject* Sender, int32_t Percent);
  std::string label_;
  bool shown_ = false;
  bool terminal_;
  int last_ = -1;
};

}  // namespace corvex::tool

// Registers a command: CORVEX_COMMAND(info, "FILE...", "print the parameters of image files", RunInfo);
#define CORVEX_COMMAND(Name, Usage, Summary, Fn) \
  static const ::corvex::tool::Registrar kRegistrar_##Name({#Name, Usage, Summary, Fn})
