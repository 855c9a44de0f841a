#include "views/radiusview.h"

#include "measure/mainwindow.h"
#include "platform/appexception.h"
#include "views/responseview.h"
#include "views/t60view.h"
#include "views/viewmath.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>

using namespace ravlon;

TForm6* Form6 = nullptr;

TForm6::TForm6(QWidget* parent)
    : TResultView("Ravlon - Reverberation radius", {100, 50}, true, parent) {
    Label1 = new QLabel("Room volume [m3]", Panel2);
    Label1->setGeometry(8, 4, 150, 16);
    volumeedit = new QLineEdit("100", Panel2);
    volumeedit->setGeometry(8, 21, 100, 24);
    raxis = MakeViewAxis(posleft, false, 0, 4, "[m]");
    faxis = MakeViewAxis(posunder, true, 20, 20000, "[Hz]");
    SetAxes(raxis, faxis);
    connect(volumeedit, &QLineEdit::textChanged, this,
            Guarded(this, [this] { volumeeditChange(); }));
}

QAction* TForm6::ShowAction() const {
    return Form1 ? Form1->Showrraction : nullptr;
}

void TForm6::volumeeditChange() {
    RepaintPlot();
    if (Form4) Form4->RepaintPlot();
}

void TForm6::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        EvaluateViewT60(T60Values, StartFrames, EndFrames);
        double volume = RoomVolume();
        // A bin without T60 has no radius; its dot sits at 0 m.
        PaintT60Dots(canvas, *faxis, T60Values, volume, QColor(0, 128, 0),
                     [&](double t) { return raxis->ValueToPixelClamped(DotRadius(volume, t)); });
        PaintSelectedFrequency(canvas, *faxis, PaintBox1->height());
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TForm6::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int) {
    SelectFrequencyByDrag(buttons, *faxis, x);
}
