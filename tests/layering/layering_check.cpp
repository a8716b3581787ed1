// Checks that includes point down the layers of the source tree.
//
//   layering_check <layer table> <root> [<folder>...]
//
// Reads every .h and .cpp file below the given folders of <root> (corvex, apps, examples and
// host when none are given; folders that do not exist are skipped) and every include in them of
// a project header: "corvex/...", <corvex/...>, any path that starts with the first folder of a
// layer (or the prefix a layer is included by, such as corvex/host for host), and quoted paths
// that name a file of the tree (relative to the root or to the including file). It prints one line per broken rule and exits 1 when there is any, 0 when there is none,
// 2 when the table or the root cannot be read. The rules:
//   - a file includes nothing of a layer above its own;
//   - a file under corvex/ includes no Qt header and nothing under host/ (only host/ knows Qt);
//   - every file and every included header is in a layer of the table.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Layer {
  std::string folder;       // e.g. "corvex/platform/graphics"
  bool filesOnly = false;   // only the files directly in the folder, not its subfolders
  std::string includedAs;   // the prefix its headers are included by, when not the folder
  int rank = 0;             // position in the table, lowest first
};

struct Table {
  std::vector<Layer> layers;
  std::set<std::string> tops;  // first folder of every layer and prefix: "corvex", "apps", ...

  // The path in the tree of an include path: a prefix a layer is included by becomes its folder.
  std::string InTree(const std::string& include) const {
    for (const Layer& l : layers)
      if (!l.includedAs.empty() && include.compare(0, l.includedAs.size() + 1, l.includedAs + "/") == 0)
        return l.folder + include.substr(l.includedAs.size());
    return include;
  }

  // The layer of a path relative to the root: the deepest folder that is a prefix of it.
  const Layer* Find(const std::string& path) const {
    const Layer* best = nullptr;
    for (const Layer& l : layers) {
      const std::string dir = l.folder + "/";
      if (path.compare(0, dir.size(), dir) != 0) continue;
      if (l.filesOnly && path.find('/', dir.size()) != std::string::npos) continue;
      if (best == nullptr || l.folder.size() > best->folder.size()) best = &l;
    }
    return best;
  }
};

bool ReadTable(const std::string& path, Table& table, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the layer table " + path;
    return false;
  }
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    Layer l;
    if (!(words >> l.folder)) continue;
    std::string word;
    bool ok = true;
    while (ok && words >> word) {
      if (word == "files") {
        l.filesOnly = true;
      } else if (word == "as" && words >> l.includedAs) {
        while (!l.includedAs.empty() && l.includedAs.back() == '/') l.includedAs.pop_back();
      } else {
        ok = false;
      }
    }
    while (!l.folder.empty() && l.folder.back() == '/') l.folder.pop_back();
    if (l.folder.empty() || !ok) {
      error = path + ":" + std::to_string(lineNo) + ": expected a folder, then optionally \"files\" and \"as <prefix>\"";
      return false;
    }
    for (const Layer& other : table.layers)
      if (other.folder == l.folder) {
        error = path + ":" + std::to_string(lineNo) + ": " + l.folder + " is listed twice";
        return false;
      }
    l.rank = int(table.layers.size());
    table.layers.push_back(l);
    table.tops.insert(l.folder.substr(0, l.folder.find('/')));
    if (!l.includedAs.empty()) table.tops.insert(l.includedAs.substr(0, l.includedAs.find('/')));
  }
  if (table.layers.empty()) {
    error = "the layer table " + path + " lists no folder";
    return false;
  }
  return true;
}

// "a/b/../c/./d" -> "a/c/d"; "" when the path climbs out of the root.
std::string Normalize(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream ss(path);
  std::string part;
  while (std::getline(ss, part, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return "";
      parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

// Qt's headers: <QWidget>, <QtCore/...>, <QtWidgets/...>, <qtconfig...>, and the old lower-case
// forms such as <qglobal.h>.
bool IsQtHeader(const std::string& path) {
  const std::string first = path.substr(0, path.find('/'));
  if (first.size() >= 2 && first[0] == 'Q' && std::isalpha(static_cast<unsigned char>(first[1]))) return true;
  if (first.compare(0, 2, "qt") == 0) return true;
  if (first.size() < 4 || first[0] != 'q' || !first.ends_with(".h") || first == "quadmath.h") return false;
  return std::all_of(first.begin(), first.end() - 2, [](char c) { return std::islower(static_cast<unsigned char>(c)); });
}

struct Include {
  int line = 0;
  std::string path;
  bool quoted = false;
};

// The #include lines of a file, outside block comments.
std::vector<Include> ReadIncludes(const fs::path& file) {
  std::vector<Include> out;
  std::ifstream in(file);
  std::string line;
  int lineNo = 0;
  bool inComment = false;
  while (std::getline(in, line)) {
    ++lineNo;
    // Drop block comments (and what a // comment hides) so that a commented-out include is not
    // taken for a real one.
    std::string code;
    for (size_t i = 0; i < line.size(); ++i) {
      if (inComment) {
        if (line.compare(i, 2, "*/") == 0) {
          inComment = false;
          ++i;
        }
      } else if (line.compare(i, 2, "/*") == 0) {
        inComment = true;
        ++i;
      } else if (line.compare(i, 2, "//") == 0) {
        break;
      } else {
        code += line[i];
      }
    }
    size_t i = 0;
    auto skipBlanks = [&] {
      while (i < code.size() && (code[i] == ' ' || code[i] == '\t')) ++i;
    };
    skipBlanks();
    if (i >= code.size() || code[i] != '#') continue;
    ++i;
    skipBlanks();
    if (code.compare(i, 7, "include") != 0) continue;
    i += 7;
    skipBlanks();
    if (i >= code.size() || (code[i] != '<' && code[i] != '"')) continue;  // a macro
    const char close = code[i] == '<' ? '>' : '"';
    const size_t end = code.find(close, i + 1);
    if (end == std::string::npos) continue;
    out.push_back(Include{lineNo, code.substr(i + 1, end - i - 1), close == '"'});
  }
  return out;
}

bool IsSource(const fs::path& p) { return p.extension() == ".h" || p.extension() == ".cpp"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: layering_check <layer table> <root> [<folder>...]\n");
    return 2;
  }
  Table table;
  std::string error;
  if (!ReadTable(argv[1], table, error)) {
    std::fprintf(stderr, "layering_check: %s\n", error.c_str());
    return 2;
  }
  const fs::path root = argv[2];
  if (!fs::is_directory(root)) {
    std::fprintf(stderr, "layering_check: %s is not a folder\n", argv[2]);
    return 2;
  }
  std::vector<std::string> folders(argv + 3, argv + argc);
  if (folders.empty()) folders = {"corvex", "apps", "examples", "host"};

  std::vector<std::string> files;
  for (const std::string& folder : folders) {
    if (!fs::is_directory(root / folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / folder))
      if (entry.is_regular_file() && IsSource(entry.path()))
        files.push_back(entry.path().lexically_relative(root).generic_string());
  }
  std::sort(files.begin(), files.end());

  int violations = 0, checked = 0;
  auto report = [&](const std::string& text) {
    std::printf("%s\n", text.c_str());
    ++violations;
  };
  for (const std::string& file : files) {
    const Layer* own = table.Find(file);
    if (own == nullptr) report(file + ":1: is in a folder that is in no layer of the table");
    const bool inLibrary = file.compare(0, 7, "corvex/") == 0;
    const std::string dir = file.substr(0, file.rfind('/') + 1);
    for (const Include& inc : ReadIncludes(root / file)) {
      const std::string where = file + ":" + std::to_string(inc.line) + ": includes <" + inc.path + ">, ";
      if (inLibrary && IsQtHeader(inc.path)) {
        report(where + "a Qt header (only host/ knows Qt)");
        continue;
      }
      // Which file of the tree the include names, if any.
      std::string target;
      const std::string first = inc.path.substr(0, inc.path.find('/'));
      if (table.tops.count(first)) {
        target = Normalize(table.InTree(inc.path));
      } else if (inc.quoted) {
        const std::string local = Normalize(dir + inc.path), fromRoot = Normalize(inc.path);
        if (!local.empty() && fs::is_regular_file(root / local)) {
          target = local;
        } else if (!fromRoot.empty() && fs::is_regular_file(root / fromRoot)) {
          target = fromRoot;
        }
      }
      if (target.empty()) continue;  // a system or dependency header
      ++checked;
      if (inLibrary && target.compare(0, 5, "host/") == 0) {
        report(where + "the Qt host (only host/ knows Qt)");
        continue;
      }
      const Layer* theirs = table.Find(target);
      if (theirs == nullptr) {
        report(where + "a folder that is in no layer of the table");
      } else if (own != nullptr && theirs->rank > own->rank) {
        report(where + "a layer above (" + theirs->folder + " over " + own->folder + ")");
      }
    }
  }
  std::fprintf(stderr, "layering_check: %zu files, %d project includes, %d broken rules\n", files.size(), checked,
               violations);
  return violations ? 1 : 0;
}
