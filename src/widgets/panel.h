// TPanel: a container whose owner lays out the children itself on every
// resize and whenever a child asks for another size (OnResize). UI thread only.
#pragma once

#include <QWidget>

#include <functional>

class TPanel : public QWidget {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr);
    std::function<void()> OnResize;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
};
