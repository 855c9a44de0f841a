#include "widgets/result_view.h"

#include "widgets/window_fit.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A status panel never narrower than its width, nor than its widest typical
// text in the current font; a longer text widens it.
class StatusPanelLabel final : public QLabel {
public:
    StatusPanelLabel(TStatusPanel panel, QWidget* parent) : QLabel(parent), panel_(panel) {}
    QSize sizeHint() const override { return Widened(QLabel::sizeHint()); }
    QSize minimumSizeHint() const override { return Widened(QLabel::minimumSizeHint()); }

private:
    QSize Widened(QSize hint) const {
        const int typical = fontMetrics().horizontalAdvance(QString::fromUtf8(panel_.WidestText)) +
                            2 * margin() + contentsMargins().left() + contentsMargins().right();
        return {std::max({hint.width(), panel_.Width, typical}), hint.height()};
    }
    TStatusPanel panel_;
};

} // namespace

TResultView::TResultView(ravlon::MeasurementModel& model, QAction* showAction,
                         const QString& caption, std::vector<TStatusPanel> panels, bool topPanel,
                         unsigned repaintOn, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), showAction_(showAction) {
    setWindowTitle(caption);
    resize(256, 300);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (topPanel) {
        Panel2 = new QWidget(this);
        Panel2->setMinimumHeight(53);
        Panel2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        auto* row = new QHBoxLayout(Panel2);
        row->setContentsMargins(8, 4, 8, 4);
        row->setSpacing(20);
        row->addStretch(1);
        layout->addWidget(Panel2);
    }
    Panel1 = new TPanel(this);
    Panel1->setAutoFillBackground(true);
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(pal);
    layout->addWidget(Panel1, 1);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    for (TStatusPanel panel : panels) {
        auto* label = new StatusPanelLabel(panel, StatusBar1);
        StatusBar1->addWidget(label);
        panels_.push_back(label);
    }
    layout->addWidget(StatusBar1);
    PaintBox1 = new TPaintBox(Panel1);
    PaintBox1->OnPaint = [this](QPainter& canvas) { PaintBox1Paint(canvas); };
    PaintBox1->OnMouseDown = [this](Qt::MouseButtons b, int x, int y) {
        PaintBox1MouseDown(b, x, y);
    };
    PaintBox1->OnMouseMove = [this](Qt::MouseButtons b, int x, int y) {
        PaintBox1MouseMove(b, x, y);
    };
    Panel1->OnResize = [this] { FormResize(); };
    subscription_ = model_.Observe([this, repaintOn](unsigned changes) {
        ModelChanged(changes);
        if (changes & repaintOn) RepaintPlot();
    });
}

TAxis* TResultView::MakeViewAxis(tposition position, bool logarithmic, double lo, double hi,
                                 const std::string& text) {
    auto* axis = new TAxis(Panel1);
    ConfigurePlotAxis(*axis, position, logarithmic, lo, hi, text, Qt::white);
    SetPlotAxisBreadth(*axis, position == posleft ? 50 : 30);
    return axis;
}

void TResultView::SetAxes(TAxis* vertical, TAxis* horizontal) {
    V = vertical;
    H = horizontal;
    V->setParent(Panel1);
    H->setParent(Panel1);
    // Each axis keeps its breadth; the layout sets the lengths.
    V->move(2, 2);
    Panel1->Follow(V);
    Panel1->Follow(H);
    V->OnScaleChanging = [this](TAxis*) { RepaintPlot(); };
    H->OnScaleChanging = [this](TAxis*) { RepaintPlot(); };
    FormResize();
}

void TResultView::AddSetting(QLabel* label, QWidget* edit) {
    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    column->addWidget(label);
    column->addWidget(edit);
    edit->setMinimumWidth(100);
    auto* row = static_cast<QHBoxLayout*>(Panel2->layout());
    row->insertLayout(row->count() - 1, column); // before the closing stretch
}

void TResultView::FitStartSize() {
    ::FitStartSize(*this, QSize(256, 300));
}

void TResultView::SetStatusText(int i, const std::string& text) {
    if (i >= 0 && i < static_cast<int>(panels_.size()))
        panels_[static_cast<size_t>(i)]->setText(QString::fromStdString(text));
}

std::string TResultView::StatusText(int i) const {
    if (i < 0 || i >= static_cast<int>(panels_.size())) return {};
    return panels_[static_cast<size_t>(i)]->text().toStdString();
}

void TResultView::RepaintPlot() {
    PaintBox1->update();
}

void TResultView::FormResize() {
    if (!V || !H) return;
    // The axes are as broad as their labels need.
    V->resize(V->sizeHint().width(), V->height());
    H->resize(H->width(), H->sizeHint().height());
    int w = Panel1->width(), h = Panel1->height();
    V->move(V->x(), 2);
    H->move(V->x() + V->width(), h - H->height() - V->y());
    V->resize(V->width(), std::max(1, H->y() - V->y()));
    H->resize(std::max(1, w - H->x() - V->y()), H->height());
    PaintBox1->setGeometry(H->x(), V->y(), H->width(), V->height());
}

void TResultView::FirstActivation() {
    PaintBox1->SetOpaque(true);
}

void TResultView::PaintFrameAndGrid(QPainter& canvas) {
    int w = PaintBox1->width(), h = PaintBox1->height();
    canvas.setPen(Qt::black);
    canvas.setBrush(Qt::white);
    canvas.drawRect(0, 0, w - 1, h - 1);
    canvas.setBrush(Qt::NoBrush);
    auto gridPen = [&](TAxis* axis, int i) {
        canvas.setPen(axis->TickIsMajor(i) ? QColor(150, 150, 150) : QColor(200, 200, 200));
    };
    for (int i = 0, n = H->TickCount(); i < n; ++i) {
        gridPen(H, i);
        int x = H->TickPixel(i);
        canvas.drawLine(x, 0, x, h - 1);
    }
    for (int i = 0, n = V->TickCount(); i < n; ++i) {
        gridPen(V, i);
        int y = V->TickPixel(i);
        canvas.drawLine(0, y, w - 1, y);
    }
}

// The first showing stands for the first activation: a shown window is
// activated at once, and this also holds where no window manager activates it.
void TResultView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!Activated) {
        Activated = true;
        FirstActivation();
    }
}

void TResultView::closeEvent(QCloseEvent* event) {
    if (showAction_) showAction_->setChecked(false);
    QWidget::closeEvent(event);
}
