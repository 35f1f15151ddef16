#include "res/texts.h"

#include <cstddef>

namespace texts {
namespace {

struct Forms {
  const char* english;
  const char* chinese;
};

const char* Pick(const Forms& f, int language) {
  switch (language) {
    case 0: return f.english;
    case 1: return f.chinese;
    default: return nullptr;
  }
}

// Indexed by Caption.
constexpr Forms kCaptions[] = {
    {"Error", "错误"},
    {"Prompt", "提示"},
    {"Notify", "提醒"},
};

// Indexed by Message.
constexpr Forms kMessages[] = {
    {"Please make sure the file exist and it is readable!", "请确认该文件存在并且可读!"},
    {"Parsing the file failed, maybe caused by unmatched upgrade policy!",
     "解析映像文件失败，可能原因是升级文件和升级策略不匹配!"},
    {"Opening the package file is failed!", "打开映像文件错误"},
    {"CRC error!", "CRC校验错误"},
    {"One instance of upgrade tool is running!", "已经有一个升级工具的实例在运行!"},
};

// Indexed by VersionText.
constexpr Forms kVersionTexts[] = {
    {"Version: ", "版本: "},
    {"Analysing the file version.....", "正在获取版本号，请稍等..."},
    {"The size of firmware file seems wrong!", "firmware文件的大小有异常!"},
    {"Analyse file version failed! Please check your file!", "获取版本号失败，请检查你的文件!"},
    {"the file is invalid!", "文件校验错误"},
};

}  // namespace

const char* CaptionText(Caption c, int language) {
  return Pick(kCaptions[static_cast<std::size_t>(c)], language);
}

const char* MessageText(Message m, int language) {
  return Pick(kMessages[static_cast<std::size_t>(m)], language);
}

const char* VersionLineText(VersionText t, int language) {
  return Pick(kVersionTexts[static_cast<std::size_t>(t)], language);
}

}  // namespace texts
