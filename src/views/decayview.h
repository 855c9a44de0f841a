// TForm2, the decay view: the level of the selected frequency bin over one
// measurement cycle, the evaluation's drop lines and markers, and a line the
// user lays over the decay to read its T60. It owns the selected frequency and
// the two drops that every T60 evaluation of the program uses.
// UI thread only; reads the main window's spectrogram store.
#pragma once

#include "views/viewbase.h"

class QLabel;
class QLineEdit;

class TForm2 : public TResultView {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* initialleveledit;
    QLabel* Label2;
    QLineEdit* additionalleveledit;
    TAxis* laxis;
    TAxis* taxis;

    double Frequency = 0;
    double InitialDrop = 0;
    double AdditionalDrop = 0;
    double LineTime1 = 0, LineLevel1 = 0;
    double LineTime2 = 0, LineLevel2 = 0;
    bool LineStarted = false;

    // Selects the frequency for all views (no range check) and repaints them.
    void SetFrequency(double f);
    // The frequency of the bin all views use for Frequency.
    double SnappedFrequency() const;
    void SetInitialDrop(double v);
    void SetAdditionalDrop(double v);

    void initialleveleditChange();
    void additionalleveleditChange();
    void PaintBox1Paint(QPainter& canvas) override;
    void PaintBox1MouseDown(Qt::MouseButtons buttons, int x, int y) override;
    void PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int y) override;

protected:
    QAction* ShowAction() const override;

private:
    void DropEditChanged(QLineEdit* edit, void (TForm2::*setter)(double));
    void PaintCurves(QPainter& canvas);
};

extern TForm2* Form2;
