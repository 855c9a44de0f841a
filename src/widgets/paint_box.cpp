#include "widgets/paint_box.h"

#include "platform/appexception.h"

#include <QMouseEvent>
#include <QPainter>

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
}

void TPaintBox::SetOpaque(bool opaque) {
    setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

bool TPaintBox::Opaque() const {
    return testAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    if (OnPaint) ravlon::RunGuarded(this, [&] { OnPaint(canvas); });
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    if (OnMouseDown) ravlon::RunGuarded(this, [&] { OnMouseDown(event->buttons(), p.x(), p.y()); });
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    if (OnMouseMove) ravlon::RunGuarded(this, [&] { OnMouseMove(event->buttons(), p.x(), p.y()); });
}
