// A program outside the project that uses the installed data-aware package.
#include <corvex/db/DBData.h>
#include <corvex/lzw/lzw.h>

#include <cstdio>

int main() {
  corvex::TCXSQLiteDataSet set;
  try {
    set.Open("/nonexistent-dir/none.sqlite", "images");
    return 1;
  } catch (const corvex::EDatabaseError&) {
  }
  std::puts("dbconsumer ok");
  return 0;
}
