#include "corvex/core/cxwords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>
#include <string>

namespace corvex {
namespace {

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnv {
 public:
  explicit LocaleEnv(const char* lang) {
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* old = std::getenv(v);
      saved_.push_back({v, old ? std::optional<std::string>(old) : std::nullopt});
      unsetenv(v);
    }
    if (lang) setenv("LANG", lang, 1);
  }
  ~LocaleEnv() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class Messages : public testing::Test {
 protected:
  void TearDown() override { CXSetDefaultTranslationWords(); }
};

TEST_F(Messages, EveryBuiltInLanguageIsFilledAndUserFallsBackToEnglish) {
  EXPECT_EQ(cxmsg(CXMSG_PREVIEW, msEnglish), "Preview");
  EXPECT_EQ(cxmsg(CXMSG_SCANNDEDDOCUMENTINFO, msEnglish), "Scanned document info");
  EXPECT_EQ(cxmsg(CXMSG_SELECTTHEREGIONTOCLEAR, msEnglish), "Select the region to clean");
  EXPECT_EQ(cxmsg(CXMSG_RESET, msEnglish), "Reset");
  for (int l = msEnglish; l <= msRussian; ++l)
    for (int w = 0; w < kMsgWordCount; ++w)
      EXPECT_FALSE(cxMessages[size_t(l - msEnglish)][size_t(w)].empty()) << "language " << l << " word " << w;
  for (int w = 0; w < kMsgWordCount; ++w) {
    const auto word = static_cast<TMsgLanguageWords>(w);
    EXPECT_EQ(cxmsg(word, msUser), cxmsg(word, msEnglish));
  }
  EXPECT_EQ(cxmsg(CXMSG_CANCEL, msGerman), "Abbrechen");
  EXPECT_EQ(cxmsg(CXMSG_HISTOGRAM, msRussian), "Гистограмма");
  EXPECT_EQ(cxmsg(CXMSG_COLOR, msGreek), "Χρώμα");
}

TEST_F(Messages, SetWordChangesOneLanguageOnly) {
  CXSetTranslationWord(msItalian, CXMSG_OK, "Va bene");
  EXPECT_EQ(cxmsg(CXMSG_OK, msItalian), "Va bene");
  EXPECT_EQ(cxmsg(CXMSG_OK, msEnglish), "OK");
  EXPECT_EQ(cxmsg(CXMSG_OK, msFrench), "OK");
  CXSetTranslationWord(msUser, CXMSG_LOAD, "Laai");
  EXPECT_EQ(cxmsg(CXMSG_LOAD, msUser), "Laai");
  CXSetTranslationWord(msSystem, CXMSG_LOAD, "ignored");
  CXSetTranslationWord(msSpanish, CXMSG_SAVE, "");
  EXPECT_EQ(cxmsg(CXMSG_SAVE, msSpanish), "Save");  // an empty entry gives the English text
  CXSetDefaultTranslationWords();
  EXPECT_EQ(cxmsg(CXMSG_OK, msItalian), "OK");
  EXPECT_EQ(cxmsg(CXMSG_LOAD, msUser), "Load");
}

TEST_F(Messages, SystemLanguageFollowsTheLocale) {
  {
    LocaleEnv env("de_DE.UTF-8");
    EXPECT_EQ(CXSystemLanguage(), msGerman);
    EXPECT_EQ(cxmsg(CXMSG_CANCEL, msSystem), "Abbrechen");
    CXSetTranslationWord(msGerman, CXMSG_PHASE, "");
    EXPECT_EQ(cxmsg(CXMSG_PHASE, msSystem), "");  // as it is, even when empty
  }
  {
    LocaleEnv env("ja_JP.UTF-8");
    EXPECT_EQ(cxmsg(CXMSG_CANCEL, msSystem), "Cancel");
  }
  {
    LocaleEnv env(nullptr);
    setenv("LC_MESSAGES", "fr_FR", 1);
    setenv("LANG", "ru_RU.UTF-8", 1);
    EXPECT_EQ(CXSystemLanguage(), msFrench);  // LC_MESSAGES before LANG
    setenv("LC_ALL", "el_GR.UTF-8", 1);
    EXPECT_EQ(CXSystemLanguage(), msGreek);  // LC_ALL before both
  }
  {
    LocaleEnv env("C");
    EXPECT_EQ(CXSystemLanguage(), msEnglish);
  }
  const std::pair<const char*, TMsgLanguage> map[] = {{"it_IT", msItalian}, {"es_ES", msSpanish},
                                                      {"pt_BR", msPortuguese}, {"ru", msRussian}};
  for (auto [loc, lang] : map) {
    LocaleEnv env(loc);
    EXPECT_EQ(CXSystemLanguage(), lang) << loc;
  }
}

}  // namespace
}  // namespace corvex
