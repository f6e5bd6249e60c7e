// widgets.h: the framework's private Qt side: the widget classes its windows stand on, the text
// conversion, and the hop of a call to the GUI thread. Not part of the library's interface.
#ifndef PAIRWAY_UI_WIDGETS_H
#define PAIRWAY_UI_WIDGETS_H

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <QValidator>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "pairway/ui/dialog_template.h"
#include "pairway/ui/gui_thread.h"
#include "pairway/ui/wnd.h"

namespace pairway::ui {

// Texts are the system's single-byte texts; on this host they are UTF-8.
inline QString ToQt(const char* text) { return QString::fromUtf8(text != nullptr ? text : ""); }
inline QString ToQt(const std::string& text) { return QString::fromUtf8(text); }
inline std::string FromQt(const QString& text) { return text.toUtf8().toStdString(); }

// Copies `text` into `buffer` as the platform's text calls do: at most max_count - 1 characters
// and a terminator. Returns the characters copied.
int CopyText(const std::string& text, LPSTR buffer, int max_count);

// Where nobody can answer a modal window (NobodyToAnswer), says so on standard error, with the
// commands that do its work when the calling host named them, and returns true: the window is
// not to be shown, and DoModal answers -1 as for a window that could not be created.
bool RefuseWindowNobodyCanAnswer(const std::string& caption);

// Runs `call` on the GUI thread and hands its result back to the calling thread.
template <typename Call>
auto CallOnGui(Call call) -> decltype(call()) {
  using Result = decltype(call());
  if (IsGuiThread()) return call();
  if constexpr (std::is_void_v<Result>) {
    RunOnGuiThread(call);
  } else {
    Result result{};
    RunOnGuiThread([&] { result = call(); });
    return result;
  }
}

// The font that dialog units are measured against (see dialog_template.h).
QFont DialogFont();

// Builds the widget of one template row inside `host`; `images` resolves image resources.
QWidget* BuildControl(const DialogControl& control, QWidget* host);
// The control object a dialog attaches to a control nobody bound.
std::unique_ptr<CWnd> MakeControlObject(ControlKind kind);

// Index of the first string, after `start` and wrapping, that begins with `text` (or equals it
// when `exact`), ignoring case; -1 when none. `count` strings, read by `at`.
int FindInStrings(int count, const std::function<QString(int)>& at, int start, const char* text,
                  bool exact);

class EditWidget;

// A dialog's window: hands Escape, the close box and F1 to the dialog object instead of Qt's own
// handling.
class DialogWidget : public QDialog {
 public:
  explicit DialogWidget(QWidget* parent);
  std::function<void()> on_cancel;  // Escape, the window's close box
  std::function<void()> on_help;    // F1
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// Lets the person type or paste at most `limit` characters while keeping longer text set by the
// program, as the platform's text limit does: input that would grow the text past the limit is
// cut to the room left (nothing when there is none); shortening is always allowed. Qt validates
// the program's changes too; only an EditWidget can tell them apart.
class LengthLimit : public QValidator {
 public:
  LengthLimit(EditWidget* edit, int limit);
  void set_limit(int limit) { limit_ = limit; }
  int limit() const { return limit_; }
  State validate(QString& input, int& pos) const override;

 private:
  EditWidget* edit_;
  int limit_;
  // The text as it was before the change being validated: Qt has changed the edit already when
  // it asks.
  QString previous_;
};

// The edit of CEdit: its key strokes go through the attached CEdit first. The modify flag lives
// here so that it survives the object attached to it changing.
class EditWidget : public QLineEdit {
 public:
  explicit EditWidget(QWidget* parent);
  bool modified = false;
  // True while the program itself changes the text (no modify flag).
  bool setting_text = false;
  // True while the edit handles the person's input (keys, input method, drop, context menu,
  // middle-button paste), as opposed to the program's own changes.
  bool in_user_input() const { return user_input_depth_ > 0; }
  // The edit's own processing of a key, and the dialog's focus move, for the key hook.
  void ProcessKey(QKeyEvent* event) { QLineEdit::keyPressEvent(event); }
  void MoveFocus(bool next) { focusNextPrevChild(next); }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool HandleEvent(QEvent* event);
  int user_input_depth_ = 0;
};

// Sets the typing limit of `edit` (an EditWidget; other edits are left alone).
void SetLengthLimit(QLineEdit* edit, int limit);

// The combo box of CComboBox: reports its list closing after the choice made in it was taken
// over (Qt closes the list first and takes the choice after).
class ComboWidget : public QComboBox {
 public:
  explicit ComboWidget(QWidget* parent);
  // Called after the list closed, while `guard` (the attachment's context) lives.
  void SetCloseupHandler(QObject* guard, std::function<void()> handler);
  bool sorted = false;
  // The most items AddString and InsertString let the list hold (CComboBox::SetItemLimit).
  int item_limit = INT_MAX;
  void hidePopup() override;

 private:
  QPointer<QObject> closeup_guard_;
  std::function<void()> on_closeup_;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_WIDGETS_H
