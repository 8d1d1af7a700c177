#include "vendor/handlers/entry_clicks.h"

#include "vendor/handlers/display_lines.h"
#include "vendor/handlers/texts.h"

namespace {

// True when the entry took the value; a refusal is said in a box.
template <class Edit>
bool Taken(MainView& view, const Entered<Edit>& entered, const wchar_t* refusal) {
  if (entered.verdict == Verdict::refused) view.ShowMessage(refusal, BoxStyle::critical, Texts::kErrorTitle);
  return entered.verdict == Verdict::accepted;
}

}  // namespace

void MAC_Click(MainView& view, EditState& state) {
  const Entered<MacEdit> mac =
      EnterMac(view.AskText(Texts::kMacPrompt, Texts::kMacTitle, Texts::kMacDefault));
  if (!Taken(view, mac, Texts::kMacRefused)) return;
  state.NewMAC = mac.edit;
  view.SetLine(Label::MAC, MacLine(mac.edit->mac(), mac.edit->check()));
}

void SN_Click(MainView& view, EditState& state) {
  const Entered<SnEdit> sn = EnterSn(view.AskText(Texts::kSnPrompt, Texts::kSnTitle, L""));
  if (!Taken(view, sn, Texts::kSnRefused)) return;
  state.NewSN = sn.edit;
  view.SetLine(Label::SN, SnLine(AsciiWide(sn.edit->sn()), AsciiWide(sn.edit->sum())));
}
