#include "res/texts.h"

#include <cstddef>

#include "res/resource.h"

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
    {"Please stop sending package first before operation!", "请在停止发送升级包后进行该操作!"},
    {"Running upgrade.exe needs WinRAR.exe.\nPlease install it at first, and select the path of WinRAR.exe.\n"
     "If you already installed WinRAR.exe, please choose its path.",
     "组播升级工具中有项功能依赖于WinRAR.\n请先安装它, 然后选择WinRAR.exe的详细路径.\n"
     "如果您已经安装了WinRAR, 请直接选择WinRAR.exe的详细路径."},
    {"The package file has been changed since it was checked. Please choose it again!",
     "升级文件在检查之后被改动, 请重新选择该文件!"},
    {"Another program is sending on this network card!", "另一个程序正在使用该网卡发送升级包!"},
    {"The settings cannot be saved in this folder:\n%s\nThe chosen WinRAR.exe is used for this run only.",
     "无法在此文件夹中保存设置:\n%s\n所选的WinRAR.exe仅用于本次运行."},
    {"Waiting", "等待网卡"},  // short enough for the datagram field
};

// Indexed by VersionText.
constexpr Forms kVersionTexts[] = {
    {"Version: ", "版本: "},
    {"Analysing the file version.....", "正在获取版本号，请稍等..."},
    {"The size of firmware file seems wrong!", "firmware文件的大小有异常!"},
    {"Analyse file version failed! Please check your file!", "获取版本号失败，请检查你的文件!"},
    {"the file is invalid!", "文件校验错误"},
};

// The captions of the main window's controls, in the order the language switch sets them.
constexpr SControlCaption kControlCaptions[] = {
    {IDC_GROUP_CONFIG, "Configuration", "配置"},
    {IDC_GROUP_FILEINFO, "Package file information", "升级文件信息"},
    {IDC_STATIC_PACKETNO, "Current packet No.", "目前包数"},
    {IDC_STATIC_SENDTIME, "Package file send time", "发送时间"},
    {IDC_STATIC_LANGUAGE, "Language", "语言"},
    {IDC_STATIC_NIC, "Network card", "网卡(IP)"},
    {IDC_STATIC_POLICY, "Policy:", "升级策略:"},
    {IDC_STATIC_PATH, "File Path:", "文件路径:"},
    {IDC_BTN_REFRESH, "Refresh", "刷新"},
    {IDC_BTN_OPEN, "Open", "浏览"},
    {IDC_BTN_START, "Start", "开始"},
    {IDC_BTN_STOP, "Stop", "停止"},
    {IDC_STATIC_FORCE, "Force Upgrade:", "强制升级:"},
    {IDC_CHECK_FORCE, "YES", "是"},
};

// The version-line dictionary, in the order its pairs are applied. The comma of the third
// Chinese text is the full-width comma U+FF0C.
constexpr SVersionPair kVersionDictionary[] = {
    {"Error: Getting Version out of time!", "错误: 获得版本号超时!"},
    {"File Version: Error file type!", "文件类型错误!"},
    {"Analyse file version failed! Please check your file!", "获取版本号失败，请检查你的文件!"},
    {"The size of Router file seems wrong!", "Router文件的大小有异常!"},
    {"It didn't include valid files in this tar.bz2 file!", "压缩文件中不包含有效的文件!"},
    {"Get file version failed!", "获取版本号失败!"},
    {"Router version", "Router版本"},
    {"Modem version", "Modem版本"},
    {"Version", "版本"},
};

}  // namespace

STable<SControlCaption> ControlCaptions() {
  return {kControlCaptions, sizeof kControlCaptions / sizeof kControlCaptions[0]};
}

STable<SVersionPair> VersionDictionary() {
  return {kVersionDictionary, sizeof kVersionDictionary / sizeof kVersionDictionary[0]};
}

const char* CaptionForm(const SControlCaption& row, int language) {
  return Pick({row.pszEnglish, row.pszChinese}, language);
}

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
