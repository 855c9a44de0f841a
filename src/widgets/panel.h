// TPanel: a container whose owner lays out the children itself (OnResize),
// on every resize of the panel, whenever a followed child changes its own
// size and whenever a child asks for another size (an axis that sizes itself
// to its labels). UI thread only.
#pragma once

#include <QWidget>

#include <functional>

class TPanel : public QWidget {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr);
    std::function<void()> OnResize;

    // Lays the children out again whenever child is resized.
    void Follow(QWidget* child);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Relayout();
    bool laying_ = false;
    bool again_ = false;
};
