#include "views/radius_view.h"

#include "core/views/data_range.h"
#include "core/views/view_math.h"
#include "platform/appexception.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "widgets/data_fit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>

using namespace ravlon;

TForm6::TForm6(MeasurementModel& model, QAction* showAction, QWidget* parent)
    : TResultView(model, showAction, "Ravlon - Reverberation radius", {{100}, {50}}, true,
                  kT60ViewChanges, parent) {
    Label1 = new QLabel("Room volume [m3]", Panel2);
    volumeedit = new QLineEdit("100", Panel2);
    AddSetting(Label1, volumeedit);
    raxis = MakeViewAxis(posleft, false, 0, 4, "[m]");
    faxis = MakeViewAxis(posunder, true, 20, 20000, "[Hz]");
    SetAxes(raxis, faxis);
    SetDataRange(raxis, kDataFitMargin, [this] {
        const double volume = Model().RoomVolume();
        std::vector<double> radii;
        for (double t : Model().Evaluation().T60Values) radii.push_back(DotRadius(volume, t));
        return ZeroToLargest(radii);
    });
    SetDataRange(faxis, 0, [this] { return FrequencyRange(Model().Store()); });
    FitStartSize();
    connect(volumeedit, &QLineEdit::textChanged, this,
            Guarded(this, [this] { volumeeditChange(); }));
}

void TForm6::volumeeditChange() {
    Model().SetRoomVolumeText(volumeedit->text().toStdString());
}

void TForm6::ModelChanged(unsigned changes) {
    const QString text = QString::fromStdString(Model().RoomVolumeText());
    if ((changes & ChangeVolume) && volumeedit->text() != text) volumeedit->setText(text);
}

void TForm6::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        const T60Evaluation& e = Model().Evaluation();
        double volume = Model().RoomVolume();
        // A bin without T60 has no radius; its dot sits at 0 m.
        PaintT60Dots(canvas, *faxis, e.T60Values, volume, Model().Store().SampFreq(),
                     QColor(0, 128, 0),
                     [&](double t) { return raxis->ValueToPixelClamped(DotRadius(volume, t)); });
        PaintSelectedFrequency(canvas, *faxis, PaintBox1->height(), Model());
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TForm6::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int) {
    SelectFrequencyByDrag(buttons, *faxis, x, Model());
}
