// TForm2, the decay view: the level of the selected frequency bin over one
// measurement cycle, the evaluation's drop lines and markers, and a line the
// user lays over the decay to read its T60. Its edits set the two drops that
// every T60 evaluation of the program uses; the selected frequency and the
// drops live in the measurement model. UI thread only.
#pragma once

#include "widgets/data_fit.h"
#include "widgets/result_view.h"

class QLabel;
class QLineEdit;

class TForm2 : public TResultView {
    Q_OBJECT
public:
    TForm2(ravlon::MeasurementModel& model, QAction* showAction, QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* initialleveledit;
    QLabel* Label2;
    QLineEdit* additionalleveledit;
    TAxis* laxis;
    TAxis* taxis;

    double LineTime1 = 0, LineLevel1 = 0;
    double LineTime2 = 0, LineLevel2 = 0;
    bool LineStarted = false;

    double Frequency() const { return Model().Frequency(); }
    double InitialDrop() const { return Model().InitialDrop(); }
    double AdditionalDrop() const { return Model().AdditionalDrop(); }
    // Selects the frequency for all views (no range check).
    void SetFrequency(double f) { Model().SetFrequency(f); }
    // The frequency of the bin all views use for Frequency.
    double SnappedFrequency() const { return Model().SnappedFrequency(); }
    // The drop and its edit's text (the general float-to-text form).
    void SetInitialDrop(double v);
    void SetAdditionalDrop(double v);

    void initialleveleditChange();
    void additionalleveleditChange();
    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseDown(Qt::MouseButtons buttons, int x, int y) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    void ModelChanged(unsigned changes) override;

private:
    void DropEditChanged(QLineEdit* edit, void (TForm2::*setter)(double));
    TDataFit fit_;
    void ShowDrop(QLineEdit* edit, double v);
    void ShowDrops();
    void PaintCurves(QPainter& canvas);
};
