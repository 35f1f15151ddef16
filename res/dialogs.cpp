#include "res/dialogs.h"

#include "res/artwork.h"
#include "res/resource.h"

namespace res {
namespace {

using platform::ControlKind;
using platform::ControlTemplate;

constexpr std::uint32_t kTab = platform::kCtlTabStop;
constexpr std::uint32_t kGrp = platform::kCtlGroup;
constexpr std::uint32_t kOff = platform::kCtlDisabled;
constexpr std::uint32_t kRO = platform::kCtlReadOnly;
constexpr std::uint32_t kHScroll = platform::kCtlAutoHScroll;
constexpr std::uint32_t kVScroll = platform::kCtlVScroll;

// Template 102, in template order (the tab order).
const ControlTemplate kWorkControls[] = {
    {IDC_COMBO_NIC, ControlKind::ComboBox, platform::kCtlDropDownList | kVScroll | kTab, 55, 90, 252, 51, nullptr, nullptr, nullptr},
    {IDC_BTN_REFRESH, ControlKind::PushButton, kTab, 313, 89, 50, 14, "Refresh", nullptr, nullptr},
    {IDC_EDIT_PATH, ControlKind::Edit, kOff | kRO | platform::kCtlBorder | kHScroll, 61, 160, 244, 14, nullptr, nullptr, nullptr},
    {IDC_BTN_OPEN, ControlKind::PushButton, kTab, 313, 160, 50, 14, "Open", nullptr, nullptr},
    {IDC_BTN_START, ControlKind::PushButton, kOff | kTab, 254, 214, 50, 14, "Start", nullptr, nullptr},
    {IDC_BTN_STOP, ControlKind::PushButton, kTab, 314, 214, 50, 14, "Stop", nullptr, nullptr},
    {IDC_PROGRESS, ControlKind::Progress, platform::kCtlBorder, 7, 215, 224, 14, nullptr, nullptr, nullptr},
    {IDC_STATIC_PATH, ControlKind::Static, kGrp, 10, 163, 41, 8, "File Path:", nullptr, nullptr},
    {IDC_STATIC_NIC, ControlKind::Static, kGrp, 9, 91, 45, 8, "Network card", nullptr, nullptr},
    {IDC_STATIC_SENDTIME, ControlKind::Static, kGrp, 13, 242, 69, 10, "Package file send time", nullptr, nullptr},
    {IDC_EDIT_SENDTIME, ControlKind::Edit, kOff | kRO | platform::kCtlStaticEdge | kHScroll, 87, 241, 40, 12, nullptr, nullptr, nullptr},
    {IDC_EDIT_PACKETNO, ControlKind::Edit, kOff | kRO | platform::kCtlStaticEdge | kHScroll, 308, 241, 40, 12, nullptr, nullptr, nullptr},
    {IDC_STATIC_PACKETNO, ControlKind::Static, kGrp, 246, 243, 59, 10, "Current packet No.", nullptr, nullptr},
    {IDC_STATIC, ControlKind::Bitmap, 0, 0, 0, 400, 53, nullptr, &BannerBitmap, nullptr},
    {IDC_GROUP_FILEINFO, ControlKind::GroupBox, 0, 2, 121, 377, 82, "Package file information", nullptr, nullptr},
    {IDC_GROUP_CONFIG, ControlKind::GroupBox, 0, 2, 56, 376, 59, "Configuration", nullptr, nullptr},
    {IDC_COMBO_POLICY, ControlKind::ComboBox, platform::kCtlHidden | platform::kCtlDropDownList | kVScroll | kTab, 61, 132, 88, 94, nullptr, nullptr, nullptr},
    {IDC_STATIC_POLICY, ControlKind::Static, platform::kCtlHidden | kGrp, 10, 143, 43, 12, "Policy:", nullptr, nullptr},
    {IDC_STATIC_VERSION, ControlKind::Static, kGrp, 10, 186, 369, 8, nullptr, nullptr, nullptr},
    {IDC_STATIC_LANGUAGE, ControlKind::Static, kGrp, 10, 71, 31, 8, "Language", nullptr, nullptr},
    {IDC_COMBO_LANGUAGE, ControlKind::ComboBox, platform::kCtlDropDown | platform::kCtlSorted | kVScroll, 55, 70, 74, 42, nullptr, nullptr, nullptr},
    {IDC_STATIC_FORCE, ControlKind::Static, kGrp, 10, 140, 48, 12, "Force Upgrade:", nullptr, nullptr},
    {IDC_CHECK_FORCE, ControlKind::CheckBox, kTab, 61, 139, 29, 10, "YES", nullptr, nullptr},
};

const platform::ComboInitItem kWorkInitItems[] = {
    {IDC_COMBO_POLICY, "Modem&Router"},
    {IDC_COMBO_POLICY, "Router"},
    {IDC_COMBO_LANGUAGE, "中文"},
    {IDC_COMBO_LANGUAGE, "English"},
};

const platform::DialogTemplate kWorkDialog = {
    IDD_WORK_DIALOG, 382, 267, "Times New Roman", 10,
    platform::kDlgVisible | platform::kDlgCaption | platform::kDlgSysMenu | platform::kDlgMinimizeBox |
        platform::kDlgModalFrame | platform::kDlgAppWindow,
    "Upgrade Tool(ZR880)",
    kWorkControls, sizeof kWorkControls / sizeof kWorkControls[0],
    kWorkInitItems, sizeof kWorkInitItems / sizeof kWorkInitItems[0],
};

// Template 100.
const ControlTemplate kAboutControls[] = {
    {IDC_STATIC, ControlKind::Icon, 0, 11, 17, 20, 20, nullptr, nullptr, &AppIcon},
    {IDC_STATIC, ControlKind::Static, platform::kCtlNoPrefix | kGrp, 40, 19, 119, 8, "Ver 1.1.0", nullptr, nullptr},
    {IDC_STATIC, ControlKind::Static, kGrp, 40, 31, 119, 8, "Multicast firmware upgrade for ZR880", nullptr, nullptr},
    {platform::IDOK, ControlKind::PushButton, platform::kCtlDefault | kGrp | kTab, 178, 7, 50, 14, "OK", nullptr, nullptr},
};

const platform::DialogTemplate kAboutBox = {
    IDD_ABOUTBOX, 235, 55, "宋体", 9,
    platform::kDlgCaption | platform::kDlgSysMenu | platform::kDlgModalFrame,
    "About",
    kAboutControls, sizeof kAboutControls / sizeof kAboutControls[0],
    nullptr, 0,
};

}  // namespace

const platform::DialogTemplate& WorkDialogTemplate() { return kWorkDialog; }
const platform::DialogTemplate& AboutBoxTemplate() { return kAboutBox; }

const char* LoadResourceString(unsigned id) {
  switch (id) {
    case IDS_ABOUTBOX: return "About KAV(&A)...";
    case IDS_SOCKETS_INIT_FAILED: return "Windows init error";
    default: return "";
  }
}

}  // namespace res
