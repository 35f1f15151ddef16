// The language switch on the headless host: the captions, the version line translated by
// the dictionary, the stored language, the first state of the controls; and the dictionary
// on its own.
#include "flow_support.h"
#include "res/texts.h"

using namespace flow;

namespace {

class LanguageTest : public FlowTestBase {
 protected:
  std::string StoredLanguage() const {
    const std::string bytes = ScratchFolder::Read(dir.Path("ip.bak"));
    const auto at = bytes.find("language=");
    return at == std::string::npos ? "(none)" : bytes.substr(at + 9, bytes.find('\r', at) - at - 9);
  }
  static void ExpectCaptions(const HeadlessWindow& w, int language, const std::string& when) {
    for (const texts::SControlCaption& row : texts::ControlCaptions())
      EXPECT_EQ(w.Control(row.nControlId).text, language == 0 ? row.pszEnglish : row.pszChinese)
          << row.nControlId << " " << when;
  }
};

}  // namespace

TEST(VersionDictionary, TranslatesInItsOrder) {
  struct Row {
    const char* text;
    int to;
    const char* expected;
  } rows[] = {
      {"Version: 1.2.3", 1, "版本: 1.2.3"},
      {"版本: 1.2.3", 0, "Version: 1.2.3"},
      {"Router版本", 0, "Router version"},  // the longer pair first: not "RouterVersion"
      {"Router version", 1, "Router版本"},
      {"Modem版本: 2 Router版本: 3", 0, "Modem version: 2 Router version: 3"},
      {"Analyse file version failed! Please check your file!", 1, "获取版本号失败，请检查你的文件!"},
      {"获取版本号失败，请检查你的文件!", 0, "Analyse file version failed! Please check your file!"},
      {"获取版本号失败!", 0, "Get file version failed!"},
      {"Error: Getting Version out of time!", 1, "错误: 获得版本号超时!"},
      {"File Version: Error file type!", 1, "文件类型错误!"},
      {"It didn't include valid files in this tar.bz2 file!", 1, "压缩文件中不包含有效的文件!"},
      {"The size of Router file seems wrong!", 1, "Router文件的大小有异常!"},
      {"VersionVersion Version", 1, "版本版本 版本"},
      {"version VERSION", 1, "version VERSION"},  // case-sensitive
      {"", 1, ""},
      {"", 0, ""},
      {"Version: 1.2.3", 0, "Version: 1.2.3"},  // already English
      {"版本: 1.2.3", 1, "版本: 1.2.3"},
      {"Version: 1.2.3", 2, "Version: 1.2.3"},  // no language: no change
      {"The size of firmware file seems wrong!", 1, "The size of firmware file seems wrong!"},  // not in the dictionary
  };
  for (const Row& r : rows) EXPECT_EQ(TranslateVersionLine(r.text, r.to), r.expected) << r.text << " -> " << r.to;
}

TEST(VersionDictionary, HasItsNinePairsAndEveryCaptionHasBothForms) {
  EXPECT_EQ(texts::VersionDictionary().nCount, 9u);
  EXPECT_STREQ(texts::VersionDictionary().pRows[8].pszEnglish, "Version");
  EXPECT_EQ(texts::ControlCaptions().nCount, 14u);
  EXPECT_EQ(texts::ControlCaptions().pRows[0].nControlId, IDC_GROUP_CONFIG);
  EXPECT_EQ(texts::ControlCaptions().pRows[13].nControlId, IDC_CHECK_FORCE);
  for (const auto& row : texts::ControlCaptions()) {
    EXPECT_STREQ(texts::CaptionForm(row, 0), row.pszEnglish);
    EXPECT_STREQ(texts::CaptionForm(row, 1), row.pszChinese);
    EXPECT_EQ(texts::CaptionForm(row, 2), nullptr);
  }
}

TEST_F(LanguageTest, SwitchingSetsTheCaptionsAndTranslatesTheVersionLine) {
  const std::string good = Write("fw.bin", GoodPackage());
  Run([&](HeadlessWindow& w) {
    ExpectCaptions(w, 0, "at start");
    EXPECT_EQ(w.Control(IDC_COMBO_LANGUAGE).curSel, 0);
    EXPECT_EQ(StoredLanguage(), "0");  // the first run of the switch wrote it

    // An empty version line: only the captions change.
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, 1));
    ExpectCaptions(w, 1, "Chinese, empty line");
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "");
    EXPECT_EQ(g_nLanguage.load(), 1);
    EXPECT_EQ(StoredLanguage(), "1");
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, 0));
    ExpectCaptions(w, 0, "English, empty line");

    struct Step {
      std::string line;  // what the version line shows before the switch ("" : as it is)
      int to;
      std::string after;
    } steps[] = {
        {"", 1, "版本: 2.4.1"},  // the line composed by the analysis in English
        {"", 0, "Version: 2.4.1"},
        {"Router版本", 0, "Router version"},
        {"Router版本", 1, "Router版本"},  // no English text in it: unchanged
        {"Analyse file version failed! Please check your file!", 1, "获取版本号失败，请检查你的文件!"},
        {"", 0, "Analyse file version failed! Please check your file!"},
    };
    Choose(w, good);
    for (const Step& s : steps) {
      if (!s.line.empty()) w.SetControlText(IDC_STATIC_VERSION, s.line);  // read back by the switch
      ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, s.to));
      EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, s.after) << s.line << " -> " << s.to;
      ExpectCaptions(w, s.to, s.after);
      EXPECT_EQ(StoredLanguage(), std::to_string(s.to));
    }
    // Not touched by the switch.
    EXPECT_EQ(w.Control(IDC_COMBO_LANGUAGE).items, (std::vector<std::string>{"English", "中文"}));
    EXPECT_EQ(w.Control(IDC_COMBO_POLICY).items, (std::vector<std::string>{"Modem&Router", "Router"}));
    EXPECT_EQ(w.Control(IDC_EDIT_PATH).text, good);
  });
}

TEST_F(LanguageTest, SwitchingWhileSendingChangesTheNextMessage) {
  const std::string good = Write("fw.bin", GoodPackage());
  g_pfnTransmissionProc = [](std::intptr_t) -> std::uint32_t { return 0; };
  Run([&](HeadlessWindow& w) {
    Choose(w, good);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, 1));  // the box stays enabled while sending
    ExpectCaptions(w, 1, "while sending");
    EXPECT_EQ(w.Control(IDC_BTN_STOP).text, "停止");
    EXPECT_TRUE(w.Control(IDC_BTN_STOP).enabled);
    g_nResult = TX_ERR_CRC;
    ASSERT_TRUE(w.TickTimer(1));
    EXPECT_EQ(LastBox(), "错误: CRC校验错误");
  });
}

TEST_F(LanguageTest, TheStoredLanguageRulesFromTheFirstMoment) {
  struct Row {
    const char* stored;  // nullptr: no settings file
    int language;
    const char* rewritten;
  } rows[] = {
      {nullptr, 0, "0"}, {"0", 0, "0"}, {"1", 1, "1"},
      // Any other value starts the run in English and is written back as 0.
      {"2", 0, "0"},     {"-1", 0, "0"}, {"abc", 0, "0"}, {"7", 0, "0"},
  };
  for (const Row& r : rows) {
    std::filesystem::remove(dir.Path("ip.bak"));
    if (r.stored) ScratchFolder::Write(dir.Path("ip.bak"), std::string("[ip]\r\nlanguage=") + r.stored + "\r\n");
    dir.FreshRuntime();
    bool shown = false;
    Run([&](HeadlessWindow& w) {
      shown = true;
      EXPECT_EQ(g_nLanguage.load(), r.language) << (r.stored ? r.stored : "none");
      EXPECT_EQ(w.Control(IDC_COMBO_LANGUAGE).curSel, r.language);
      ExpectCaptions(w, r.language, r.stored ? r.stored : "none");
      // The rest of the first state.
      EXPECT_EQ(w.Control(IDC_COMBO_POLICY).curSel, 0);
      EXPECT_EQ(g_nPolicy.load(), 1);
      EXPECT_FALSE(w.Control(IDC_BTN_STOP).enabled);
      EXPECT_EQ(w.Control(IDC_COMBO_NIC).items.size(), 2u);
      EXPECT_EQ(w.Control(IDC_COMBO_NIC).curSel, 0);
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(StoredLanguage(), r.rewritten) << (r.stored ? r.stored : "none");
  }
}

TEST_F(LanguageTest, TheAnalysisComposesInTheLanguageInForce) {
  const std::string trx = Write("fw.trx", mkfile::BuildTrx({0x100000, "Q770", "1.2.3"}));
  const std::string small = Write("small.trx", mkfile::BuildTrx({0xFFFFF, "Q770", "1.2.3"}));
  Run([&](HeadlessWindow& w) {
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, 1));
    Choose(w, trx);
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "版本: 1.2.3");
    Choose(w, small);
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "firmware文件的大小有异常!");
    Choose(w, dir.Path("none.trx"));
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "获取版本号失败，请检查你的文件!");
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_LANGUAGE, 0));
    EXPECT_EQ(w.Control(IDC_STATIC_VERSION).text, "Analyse file version failed! Please check your file!");
  });
}
