// The count, pulse-duration and ratio dialogs: small modal dialogs that
// choose a mode's variant and send its frame themselves.
#pragma once

#include "platform/dialog.h"
#include "resources/ids.h"

namespace kolvane {

class CPanelDlg;

class CCountModeDlg : public CDialog {
 public:
  explicit CCountModeDlg(CPanelDlg& panel) : CDialog(ids::kCountDialog), panel_(panel) {}
  bool OnInitDialog() override;
  void OnCountSelChange();

 protected:
  bool DispatchMap(const Message& m) override;

 private:
  CPanelDlg& panel_;
};

class CDurationModeDlg : public CDialog {
 public:
  explicit CDurationModeDlg(CPanelDlg& panel) : CDialog(ids::kDurationDialog), panel_(panel) {}
  bool OnInitDialog() override;
  void OnDurationSelChange();

 protected:
  bool DispatchMap(const Message& m) override;

 private:
  CPanelDlg& panel_;
};

// The ratio message field: dark red on white.
inline constexpr ColorRef kRatioMessageText = Rgb(128, 0, 0);
inline constexpr ColorRef kRatioMessageBack = Rgb(255, 255, 255);

class CRatioModeDlg : public CDialog {
 public:
  explicit CRatioModeDlg(CPanelDlg& panel) : CDialog(ids::kRatioDialog), panel_(panel) {}
  bool OnInitDialog() override;
  void OnRatioSelChange();
  CtlColors OnCtlColor(int controlId, int kind) override;

 protected:
  bool DispatchMap(const Message& m) override;

 private:
  // Sends the remembered choice if it suits the active channel, otherwise
  // says why not. The no-reply text differs between opening and a change.
  void SendChoice(bool opening);

  CPanelDlg& panel_;
};

}  // namespace kolvane
