// A dialog window built with Qt Widgets from a layout template: every control
// sits at its template rectangle, controls are addressed by id, and only
// the user's actions reach the attached dialog as messages. It is built in
// template_builder.cpp, run in modal_loop.cpp, and its controls answer the
// window seam in dialog_window.cpp.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/dialog.h"
#include "platform/window.h"
#include "resources/layout.h"

class QDialog;
class QTimer;
class QWidget;

namespace kolvane::qt {

class DialogWidget;

class QtDialogWindow : public IWindow {
 public:
  // Without a parent the window is a top-level window of the desktop.
  QtDialogWindow(const layout::DialogTemplate& dialogTemplate, QWidget* parent);
  ~QtDialogWindow() override;
  QtDialogWindow(const QtDialogWindow&) = delete;
  QtDialogWindow& operator=(const QtDialogWindow&) = delete;

  QDialog& Widget();
  const layout::DialogTemplate& Template() const { return template_; }
  // The widget of a numbered control; nullptr when the template has none.
  QWidget* ControlWidget(int id) const;
  // One widget per template control, in template order.
  const std::vector<QWidget*>& ControlWidgets() const { return widgets_; }

  // Attaches the dialog, runs its OnInitDialog, applies its colours and
  // shows the window (unless the dialog already ended itself).
  void Open(CDialog& dialog);
  // Open, then the modal loop until the dialog ends; detaches it after.
  // onShown runs once the window is on screen.
  int Run(CDialog& dialog, const std::function<void(QtDialogWindow&)>& onShown = {});
  // Hands a message to the attached dialog, if any.
  void Deliver(const Message& m);
  bool Ended() const { return ended_; }
  // Stands in for the save dialog (tests): given the suggested path, the
  // chosen one or nothing.
  using SaveFileNameProvider = std::function<std::optional<std::string>(const std::string&)>;
  void SetSaveFileNameProvider(SaveFileNameProvider provider) {
    saveFileName_ = std::move(provider);
  }

  // ---- IWindow ----
  int RunModal(CDialog& dialog) override;
  void SetText(int id, std::string_view text) override;
  std::string GetText(int id) const override;
  void ListAddString(int id, std::string_view text) override;
  void ListSetCurSel(int id, int index) override;
  int ListGetCurSel(int id) const override;
  void EnableControl(int id, bool enable) override;
  bool IsControlEnabled(int id) const override;
  int GetCheck(int id) const override;
  void SetCheck(int id, int state) override;
  void SpinSetRange(int id, int lower, int upper) override;
  void SpinSetPos(int id, int pos) override;
  int SpinGetPos(int id) const override;
  void ProgressSetRange(int id, int lower, int upper) override;
  void ProgressSetPos(int id, int pos) override;
  void SetFont(int id, const FontSpec& font) override;
  unsigned SetTimer(unsigned id, unsigned periodMs) override;
  void KillTimer(unsigned id) override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(int commandId, std::string_view text) override;
  void CheckSystemMenuItem(int commandId, bool checked) override;
  std::optional<std::string> AskSaveFileName(std::string_view title,
                                             std::string_view defaultName) override;
  void ShowMessageBox(std::string_view text) override;
  void SetIcon(int iconResource, bool big) override;
  void EndModal(int result) override;
  void Close() override;

 private:
  struct Spin {
    int lower = 100;  // the range an up-down control starts with
    int upper = 0;
    int pos = 0;
  };

  void Build();
  QWidget* MakeControl(const layout::Control& c, QWidget* previous);
  void ApplyColours();
  void Detach();
  // A user's step of an up-down control and the two scroll messages it sends.
  void StepSpin(int id, bool up);
  void OnUserClick(const layout::Control& c);
  int EnterCommandId() const;
  void ShowSystemMenu(const QPoint& globalPos);
  QWidget* Find(int id) const;
  const layout::Control* Def(int id) const;

  const layout::DialogTemplate& template_;
  QPointer<DialogWidget> widget_;
  std::vector<QWidget*> widgets_;
  std::map<int, std::size_t> index_;  // id -> position in the template
  std::map<int, Spin> spins_;
  std::map<int, std::pair<int, int>> progressRanges_;
  std::map<unsigned, QTimer*> timers_;
  // The font each control was last given: the panel gives the reading's
  // again with every reading, and the same font needs no new layout.
  std::map<int, FontSpec> fonts_;
  std::vector<std::pair<int, QString>> systemMenu_;  // id 0: separator
  std::set<int> checkedMenu_;
  SaveFileNameProvider saveFileName_;
  CDialog* dialog_ = nullptr;
  bool ended_ = false;
  bool running_ = false;
  int result_ = 0;
};

}  // namespace kolvane::qt
