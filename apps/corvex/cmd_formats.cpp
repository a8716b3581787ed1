// corvex formats: the registry of file formats, one line per format.
#include "apps/corvex/tool.h"
#include "corvex/io/CorvexIO.h"

namespace corvex::tool {
namespace {

int RunFormats(const std::vector<std::string>& args) {
  if (!args.empty()) return Fail(kUsage, "formats takes no arguments");
  for (const auto& info : cxgFileFormats)
    std::printf("%3d  %-28s %s\n", info->FileType, info->FullName.c_str(), info->Extension.c_str());
  return kOk;
}

}  // namespace
CORVEX_COMMAND(formats, "", "list the file formats the library knows", RunFormats);
}  // namespace corvex::tool
