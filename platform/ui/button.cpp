// CButton: a click is BN_CLICKED to the dialog.
#include <QAbstractButton>

#include "pairway/ui/controls.h"

namespace pairway::ui {

void CButton::OnAttached() {
  if (auto* button = qobject_cast<QAbstractButton*>(widget())) {
    QObject::connect(button, &QAbstractButton::clicked, link(),
                     [this] { NotifyParent(BN_CLICKED); });
  }
}

}  // namespace pairway::ui
