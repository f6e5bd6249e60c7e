// The widgets behind the framework's windows, and the template rows turned into them.
#include "widgets.h"

#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

#include <string.h>

#include <algorithm>

#include "pairway/ui/controls.h"
#include "pairway/ui/tree_ctrl.h"
#include "pairway/ui/win_app.h"

namespace pairway::ui {
namespace {

// Base units of MS Sans Serif 8 on a 96 dpi screen: average character width and height.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

// A combo box is as high as its edit field; its template height is that of the open list.
constexpr int kComboHeightUnits = 12;

QRect PixelRect(const DialogControl& control) {
  return QRect(DialogUnitsToPixelsX(control.x), DialogUnitsToPixelsY(control.y),
               DialogUnitsToPixelsX(control.cx), DialogUnitsToPixelsY(control.cy));
}

QPixmap ImageOf(UINT id) {
  CWinApp* app = AfxGetApp();
  const char* path = app != nullptr ? app->ImagePath(id) : nullptr;
  return path != nullptr ? QPixmap(ToQt(path)) : QPixmap();
}

void AddItems(const DialogControl& control, const std::function<void(const QString&)>& add) {
  if (control.items == nullptr) return;
  for (const char* const* item = control.items; *item != nullptr; ++item) add(ToQt(*item));
}

QWidget* BuildButton(const DialogControl& control, QWidget* host) {
  auto* button = new QPushButton(ToQt(control.text), host);
  if ((control.style & BS_DEFPUSHBUTTON) != 0) button->setDefault(true);
  return button;
}

QWidget* BuildText(const DialogControl& control, QWidget* host) {
  auto* label = new QLabel(ToQt(control.text), host);
  label->setTextFormat(Qt::PlainText);
  Qt::Alignment horizontal = Qt::AlignLeft;
  if ((control.style & 0x3) == SS_CENTER) horizontal = Qt::AlignHCenter;
  if ((control.style & 0x3) == SS_RIGHT) horizontal = Qt::AlignRight;
  label->setAlignment(horizontal | Qt::AlignTop);
  return label;
}

QWidget* BuildPicture(const DialogControl& control, QWidget* host, bool icon) {
  auto* label = new QLabel(host);
  QPixmap image = ImageOf(control.image);
  if (icon && !image.isNull()) image = image.scaled(32, 32, Qt::KeepAspectRatio);
  label->setPixmap(image);
  return label;
}

QWidget* BuildEdit(const DialogControl& control, QWidget* host) {
  auto* edit = new EditWidget(host);
  edit->setText(ToQt(control.text));
  edit->setReadOnly((control.style & ES_READONLY) != 0);
  return edit;
}

QWidget* BuildListBox(const DialogControl& control, QWidget* host) {
  auto* list = new QListWidget(host);
  if ((control.style & LBS_EXTENDEDSEL) != 0) {
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  } else if ((control.style & LBS_MULTIPLESEL) != 0) {
    list->setSelectionMode(QAbstractItemView::MultiSelection);
  } else {
    list->setSelectionMode(QAbstractItemView::SingleSelection);
  }
  list->setVerticalScrollBarPolicy((control.style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                     : Qt::ScrollBarAlwaysOff);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setUniformItemSizes(true);
  list->setProperty("pairway.sorted", (control.style & LBS_SORT) != 0);
  AddItems(control, [list](const QString& text) { list->addItem(text); });
  return list;
}

QWidget* BuildComboBox(const DialogControl& control, QWidget* host) {
  auto* combo = new ComboWidget(host);
  if ((control.style & 0x3) == CBS_DROPDOWN) {
    combo->setLineEdit(new EditWidget(combo));
    // The platform's combo neither completes typed text nor adds it to the list.
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
  }
  combo->sorted = (control.style & CBS_SORT) != 0;
  AddItems(control, [combo](const QString& text) { combo->addItem(text); });
  combo->setCurrentIndex(-1);
  return combo;
}

QWidget* BuildTree(const DialogControl& control, QWidget* host) {
  auto* tree = new QTreeWidget(host);
  tree->setHeaderHidden(true);
  tree->setColumnCount(1);
  tree->setIconSize(QSize(16, 16));
  tree->setRootIsDecorated((control.style & TVS_LINESATROOT) != 0);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  return tree;
}

QWidget* BuildWidget(const DialogControl& control, QWidget* host) {
  switch (control.kind) {
    case ControlKind::kPushButton:
      return BuildButton(control, host);
    case ControlKind::kGroupBox:
      return new QGroupBox(ToQt(control.text), host);
    case ControlKind::kText:
      return BuildText(control, host);
    case ControlKind::kBitmap:
      return BuildPicture(control, host, false);
    case ControlKind::kIcon:
      return BuildPicture(control, host, true);
    case ControlKind::kEdit:
      return BuildEdit(control, host);
    case ControlKind::kListBox:
      return BuildListBox(control, host);
    case ControlKind::kComboBox:
      return BuildComboBox(control, host);
    case ControlKind::kTreeView:
      return BuildTree(control, host);
  }
  return new QLabel(host);
}

}  // namespace

int DialogUnitsToPixelsX(int units) { return (units * kBaseUnitX + 2) / 4; }

int DialogUnitsToPixelsY(int units) { return (units * kBaseUnitY + 4) / 8; }

int CopyText(const std::string& text, LPSTR buffer, int max_count) {
  if (buffer == nullptr || max_count <= 0) return 0;
  int count = std::min(static_cast<int>(text.size()), max_count - 1);
  memcpy(buffer, text.data(), static_cast<size_t>(count));
  buffer[count] = '\0';
  return count;
}

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(11);
  return font;
}

QWidget* BuildControl(const DialogControl& control, QWidget* host) {
  QWidget* widget = BuildWidget(control, host);
  QRect rect = PixelRect(control);
  if (control.kind == ControlKind::kComboBox) {
    rect.setHeight(DialogUnitsToPixelsY(kComboHeightUnits));
  }
  widget->setGeometry(rect);
  if (auto* picture = qobject_cast<QLabel*>(widget);
      picture != nullptr && !picture->pixmap().isNull()) {
    // The platform sizes a picture control to its image.
    picture->resize(picture->pixmap().size());
  }
  if ((control.style & WS_DISABLED) != 0) widget->setEnabled(false);
  return widget;
}

std::unique_ptr<CWnd> MakeControlObject(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPushButton:
      return std::make_unique<CButton>();
    case ControlKind::kEdit:
      return std::make_unique<CEdit>();
    case ControlKind::kListBox:
      return std::make_unique<CListBox>();
    case ControlKind::kComboBox:
      return std::make_unique<CComboBox>();
    case ControlKind::kTreeView:
      return std::make_unique<CTreeCtrl>();
    default:
      return std::make_unique<CStatic>();
  }
}

int FindInStrings(int count, const std::function<QString(int)>& at, int start, const char* text,
                  bool exact) {
  if (count <= 0) return -1;
  QString wanted = ToQt(text);
  // The search begins after `start` and comes round to it; -1 or out of range: from the top.
  int first = (start < 0 || start >= count) ? 0 : start + 1;
  for (int step = 0; step < count; ++step) {
    int index = (first + step) % count;
    QString item = at(index);
    bool match = exact ? item.compare(wanted, Qt::CaseInsensitive) == 0
                       : item.startsWith(wanted, Qt::CaseInsensitive);
    if (match) return index;
  }
  return -1;
}

DialogWidget::DialogWidget(QWidget* parent) : QDialog(parent) { setFont(DialogFont()); }

void DialogWidget::reject() {
  if (on_cancel) {
    on_cancel();
  } else {
    QDialog::reject();
  }
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
  // F1 reaches the dialog when the focused control has no use for it, as the platform's help
  // key reaches the framework.
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier && on_help) {
    event->accept();
    on_help();
    return;
  }
  QDialog::keyPressEvent(event);
}

LengthLimit::LengthLimit(EditWidget* edit, int limit)
    : QValidator(edit), edit_(edit), limit_(limit), previous_(edit->text()) {
  connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { previous_ = text; });
}

QValidator::State LengthLimit::validate(QString& input, int& pos) const {
  const QString& before = previous_;
  if (!edit_->in_user_input()) return Acceptable;
  if (limit_ <= 0 || input.size() <= limit_ || input.size() <= before.size()) return Acceptable;
  // Find what was inserted: the part of `input` between what it shares with `before` at its
  // start and at its end.
  int prefix = 0;
  while (prefix < before.size() && prefix < input.size() && before[prefix] == input[prefix]) {
    ++prefix;
  }
  int suffix = 0;
  while (suffix < before.size() - prefix && suffix < input.size() - prefix &&
         before[before.size() - 1 - suffix] == input[input.size() - 1 - suffix]) {
    ++suffix;
  }
  int inserted = static_cast<int>(input.size()) - prefix - suffix;
  int kept = static_cast<int>(input.size()) - inserted;
  int room = std::max(0, limit_ - kept);
  if (room == 0 || inserted <= 0) return Invalid;
  input = input.left(prefix) + input.mid(prefix, std::min(room, inserted)) + input.right(suffix);
  pos = prefix + std::min(room, inserted);
  return Acceptable;
}

void SetLengthLimit(QLineEdit* edit, int limit) {
  auto* ours = dynamic_cast<EditWidget*>(edit);
  if (ours == nullptr) return;
  if (auto* current = dynamic_cast<LengthLimit*>(const_cast<QValidator*>(ours->validator()))) {
    current->set_limit(limit);
  } else {
    ours->setValidator(new LengthLimit(ours, limit));
  }
}

ComboWidget::ComboWidget(QWidget* parent) : QComboBox(parent) {}

void ComboWidget::SetCloseupHandler(QObject* guard, std::function<void()> handler) {
  closeup_guard_ = guard;
  on_closeup_ = std::move(handler);
}

void ComboWidget::hidePopup() {
  QComboBox::hidePopup();
  // Qt takes the item chosen in the list after closing it: report the close-up once that is done.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (closeup_guard_ != nullptr && on_closeup_) on_closeup_();
      },
      Qt::QueuedConnection);
}

}  // namespace pairway::ui
