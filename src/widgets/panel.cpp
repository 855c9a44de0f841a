#include "widgets/panel.h"

#include "platform/appexception.h"

#include <QEvent>

TPanel::TPanel(QWidget* parent) : QWidget(parent) {}

void TPanel::Follow(QWidget* child) {
    child->installEventFilter(this);
}

void TPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

bool TPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) Relayout();
    return QWidget::eventFilter(watched, event);
}

// The layout resizes the followed children itself; a child that answers with
// another size of its own gets one more pass, so the layout settles.
void TPanel::Relayout() {
    if (!OnResize) return;
    if (laying_) {
        again_ = true;
        return;
    }
    laying_ = true;
    for (int pass = 0; pass < 4; ++pass) {
        again_ = false;
        ravlon::RunGuarded(this, [&] { OnResize(); });
        if (!again_) break;
    }
    laying_ = false;
}

// A child whose size hint changed (an axis with wider labels) posts a layout
// request to its parent: lay out again.
bool TPanel::event(QEvent* event) {
    if (event->type() == QEvent::LayoutRequest) Relayout();
    return QWidget::event(event);
}
