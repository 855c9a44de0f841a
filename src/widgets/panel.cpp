#include "widgets/panel.h"

#include "platform/appexception.h"

TPanel::TPanel(QWidget* parent) : QWidget(parent) {}

void TPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (OnResize) ravlon::RunGuarded(this, [&] { OnResize(); });
}
