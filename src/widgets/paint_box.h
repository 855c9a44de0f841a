// A plain drawing surface: the owner paints it in OnPaint and handles its
// mouse in OnMouseDown / OnMouseMove. With Opaque set, Qt does not erase the
// background before a paint (the owner paints every pixel itself).
// UI thread only.
#pragma once

#include <QWidget>

#include <functional>

class QPainter;

class TPaintBox : public QWidget {
    Q_OBJECT
public:
    using TPaintEvent = std::function<void(QPainter& canvas)>;
    // buttons: the buttons held during the event (the "shift state").
    using TMouseEvent = std::function<void(Qt::MouseButtons buttons, int x, int y)>;

    explicit TPaintBox(QWidget* parent = nullptr);

    void SetOpaque(bool opaque);
    bool Opaque() const;

    TPaintEvent OnPaint;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseMove;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};
