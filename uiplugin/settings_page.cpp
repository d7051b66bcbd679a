#include "uiplugin/settings_page.h"

#include <commctrl.h>
#include <winspool.h>

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/printerdata/printer_store.h"
#include "common/tool_error.h"
#include "settings/label_settings.h"
#include "uiplugin/page_layout.h"
#include "uiplugin/page_values.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr DWORD kRegDword = 4;

struct PageState {
  HANDLE printer;
  std::wstring printerName;
  // The rows as the page opened: a row left so is not written, so that a stored value the page
  // cannot show (another type, or a list value out of range) stays as it was.
  std::vector<std::u16string> opened;
};

// Layout in dialog units: the standard property page size, one row a setting.
constexpr int kPageWidth = 252;
constexpr int kPageHeight = 218;
constexpr int kRowTop = 6;
constexpr int kRowHeight = 15;
constexpr int kCaptionX = 6, kCaptionWidth = 82;
constexpr int kValueX = 90, kEditWidth = 50, kListWidth = 118;
constexpr int kHintX = 144;

// The page's dialog template: a child page with a caption and the dialog font, and no
// controls; they are made from the table when the page opens. Built once, kept for the
// library's life (the sheet reads it whenever it makes the page).
const DLGTEMPLATE* PageTemplate() {
  static const std::vector<DWORD> storage = [] {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD));
    DLGTEMPLATE head{};
    head.style = DS_SETFONT | DS_3DLOOK | WS_CHILD | WS_CAPTION;
    head.cdit = 0;
    head.cx = kPageWidth;
    head.cy = kPageHeight;
    std::memcpy(words.data(), &head, sizeof head);
    words.push_back(0);  // no menu
    words.push_back(0);  // the standard dialog class
    for (wchar_t c : std::wstring(L"Label settings")) words.push_back(static_cast<WORD>(c));
    words.push_back(0);
    words.push_back(8);  // point size
    for (wchar_t c : std::wstring(L"MS Shell Dlg")) words.push_back(static_cast<WORD>(c));
    words.push_back(0);
    std::vector<DWORD> aligned((words.size() + 1) / 2);
    std::memcpy(aligned.data(), words.data(), words.size() * sizeof(WORD));
    return aligned;
  }();
  return reinterpret_cast<const DLGTEMPLATE*>(storage.data());
}

HWND Child(HWND page, const wchar_t* cls, const std::wstring& text, DWORD style, int id, RECT dlu) {
  MapDialogRect(page, &dlu);
  HWND h = CreateWindowExW(cls == std::wstring(WC_EDITW) ? WS_EX_CLIENTEDGE : 0, cls, text.c_str(),
                           WS_CHILD | WS_VISIBLE | style, dlu.left, dlu.top, dlu.right - dlu.left,
                           dlu.bottom - dlu.top, page, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr);
  SendMessageW(h, WM_SETFONT, SendMessageW(page, WM_GETFONT, 0, 0), FALSE);
  return h;
}

std::wstring Wide(std::string_view text) { return qxvn::Widen(std::string(text)); }

std::optional<uint32_t> StoredDword(HANDLE printer, std::string_view name) {
  std::wstring key = Wide(name);
  DWORD type = 0, value = 0, needed = 0;
  if (GetPrinterDataW(printer, key.data(), &type, reinterpret_cast<BYTE*>(&value), sizeof value, &needed) !=
          ERROR_SUCCESS ||
      type != kRegDword || needed != sizeof value)
    return std::nullopt;
  return value;
}

void FillPage(HWND page, const PageState& state) {
  const auto settings = qxlabel::LabelSettings();
  for (size_t i = 0; i < settings.size(); ++i) {
    const qxlabel::Setting& s = settings[i];
    const int top = kRowTop + static_cast<int>(i) * kRowHeight;
    Child(page, WC_STATICW, Wide(s.caption), SS_LEFT, -1,
          {kCaptionX, top + 2, kCaptionX + kCaptionWidth, top + 12});
    const std::optional<uint32_t> stored = StoredDword(state.printer, s.name);
    const int id = PageValueId(static_cast<int>(i));
    if (!s.choices.empty()) {
      HWND list = Child(page, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, id,
                        {kValueX, top, kValueX + kListWidth, top + 80});
      SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"(not stored)"));
      int selected = 0;
      for (size_t k = 0; k < s.choices.size(); ++k) {
        const std::wstring item = std::to_wstring(s.choices[k].value) + L"  " + Wide(s.choices[k].meaning);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        if (stored && *stored == s.choices[k].value) selected = static_cast<int>(k) + 1;
      }
      SendMessageW(list, CB_SETCURSEL, selected, 0);
      continue;
    }
    Child(page, WC_EDITW, stored ? std::to_wstring(*stored) : L"", ES_AUTOHSCROLL | ES_NUMBER | WS_TABSTOP,
          id, {kValueX, top, kValueX + kEditWidth, top + 12});
    const std::string hint = std::string(qxlabel::UnitText(s.unit)) + ", " + qxlabel::RangeText(s);
    Child(page, WC_STATICW, Wide(hint), SS_LEFT, -1, {kHintX, top + 2, kPageWidth - 6, top + 12});
  }
  const int top = kRowTop + static_cast<int>(settings.size()) * kRowHeight + 2;
  Child(page, WC_STATICW,
        L"Empty or \"(not stored)\": the printer keeps no value, and the plug-in its default.", SS_LEFT,
        kPageStatusId, {kCaptionX, top, kPageWidth - 6, kPageHeight - 4});
}

// Each row's text, as CheckPage takes it: a list's value, or the edit box's text.
std::vector<std::u16string> RowTexts(HWND page) {
  std::vector<std::u16string> texts;
  const auto settings = qxlabel::LabelSettings();
  for (size_t i = 0; i < settings.size(); ++i) {
    HWND control = GetDlgItem(page, PageValueId(static_cast<int>(i)));
    std::wstring text;
    if (!settings[i].choices.empty()) {
      const LRESULT at = SendMessageW(control, CB_GETCURSEL, 0, 0);
      if (at > 0 && static_cast<size_t>(at) <= settings[i].choices.size())
        text = std::to_wstring(settings[i].choices[static_cast<size_t>(at) - 1].value);
    } else {
      text.resize(static_cast<size_t>(GetWindowTextLengthW(control)) + 1);
      text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    }
    texts.emplace_back(text.begin(), text.end());
  }
  return texts;
}

// Stores what the changed rows hold, where it differs from the printer's. Empty on success, else
// why nothing was stored.
std::string Apply(HWND page, PageState& state) {
  const std::vector<std::u16string> rows = RowTexts(page);
  const qxui::PageCheck check = qxui::CheckPage(rows);
  if (!check.error.empty()) return check.error + ". Nothing was stored.";
  const auto settings = qxlabel::LabelSettings();
  try {
    qxvn::PrinterStore store(state.printer, state.printerName);
    const std::vector<qxvn::RegValue> current = store.Values();
    std::vector<qxvn::RegValue> changes;
    for (size_t i = 0; i < settings.size(); ++i) {
      if (i < state.opened.size() && rows[i] == state.opened[i]) continue;
      qxvn::RegValue change;
      change.name.assign(settings[i].name.begin(), settings[i].name.end());
      const qxvn::RegValue* stored = nullptr;
      for (const qxvn::RegValue& v : current)
        if (qxlabel::FindLabelSetting(v.name) == &settings[i]) stored = &v;
      if (const std::optional<uint32_t> value = check.values[i]) {
        change.type = kRegDword;
        for (int b = 0; b < 4; ++b) change.data.push_back(static_cast<uint8_t>(*value >> (8 * b)));
        if (stored && stored->type == kRegDword && stored->data == change.data) continue;
      } else {
        if (!stored) continue;
        change.remove = true;
      }
      changes.push_back(std::move(change));
    }
    store.Apply(changes);
    state.opened = rows;
  } catch (const qxvn::ToolError& e) {
    return std::string(e.what()) + ". Nothing was stored.";
  }
  return {};
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
      auto* state = reinterpret_cast<PageState*>(sheetPage->lParam);
      SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
      FillPage(page, *state);
      state->opened = RowTexts(page);
      return TRUE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == CBN_SELCHANGE)
        SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
      return FALSE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (!header || header->code != PSN_APPLY) return FALSE;
      auto* state = reinterpret_cast<PageState*>(GetWindowLongPtrW(page, DWLP_USER));
      const std::string refusal = state ? Apply(page, *state) : "the page has no printer";
      SetDlgItemTextW(page, kPageStatusId, refusal.empty() ? L"Stored." : Wide(refusal).c_str());
      SetWindowLongPtrW(page, DWLP_MSGRESULT, refusal.empty() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

bool AddSettingsPage(PROPSHEETUI_INFO& info, const OEMUIPSPARAM& param) {
  auto* state =
      new (std::nothrow) PageState{param.hPrinter, param.pPrinterName ? param.pPrinterName : L"", {}};
  if (!state) return false;
  PROPSHEETPAGEW page{};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_DLGINDIRECT;
  page.hInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  page.pResource = PageTemplate();
  page.pfnDlgProc = PageProc;
  page.lParam = reinterpret_cast<LPARAM>(state);
  if (info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW, reinterpret_cast<LPARAM>(&page),
                           0) <= 0) {
    delete state;
    return false;
  }
  info.UserData = reinterpret_cast<ULONG_PTR>(state);
  info.Result = CPSUI_OK;
  return true;
}

void FreeSettingsPage(PROPSHEETUI_INFO& info) {
  delete reinterpret_cast<PageState*>(info.UserData);
  info.UserData = 0;
}
