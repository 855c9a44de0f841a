#include "widgets/panel.h"

#include "platform/appexception.h"

#include <QEvent>

TPanel::TPanel(QWidget* parent) : QWidget(parent) {}

void TPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) ravlon::RunGuarded(this, [&] { OnResize(); });
}

// A child whose size hint changed (an axis with wider labels) posts a layout
// request to its parent: lay out again.
bool TPanel::event(QEvent* event) {
    if (event->type() == QEvent::LayoutRequest && OnResize)
        ravlon::RunGuarded(this, [&] { OnResize(); });
    return QWidget::event(event);
}
