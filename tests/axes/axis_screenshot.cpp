// Renders a gallery of axes (linear, decade, note, the four positions,
// reversed, with marker) into one PNG for review.
#include "axes/axis.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QWidget>

#include <cstdio>

namespace {

TAxis* MakeAxis(QWidget* parent, QRect geometry, tposition pos, double lo, double hi,
                const char* text) {
    auto* a = new TAxis(parent);
    a->setGeometry(geometry);
    a->SetPosition(pos);
    a->SetBackgroundColor(Qt::white);
    a->SetRange(lo, hi);
    a->SetAxisText(text);
    return a;
}

void Caption(QWidget* parent, int x, int y, const char* text) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    l->setFont(f);
    l->move(x, y);
    l->adjustSize();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "screenshots/axes.png";

    QWidget w;
    w.resize(980, 640);

    // Left column: vertical axes.
    Caption(&w, 10, 5, "linear posleft");
    MakeAxis(&w, {10, 35, 50, 260}, posleft, -50, 50, "[dB]");
    Caption(&w, 110, 5, "log posleft");
    auto* f = MakeAxis(&w, {110, 35, 60, 260}, posleft, 20, 20000, "[Hz]");
    f->SetLogarithmic(true);
    Caption(&w, 210, 5, "music\nposright");
    auto* m = MakeAxis(&w, {210, 35, 60, 260}, posright, 50, 2000, "note");
    m->SetLogarithmic(true);
    m->SetMusicScale(true);
    Caption(&w, 310, 5, "reversed,\nmarker");
    auto* r = MakeAxis(&w, {310, 35, 50, 260}, posleft, 0, 4, "[s]");
    r->SetReverse(true);
    r->SetMarkerVisible(true);
    r->SetMarkerValue(1.3);
    Caption(&w, 410, 5, "log,\nLoValue=0");
    auto* bad = MakeAxis(&w, {410, 35, 60, 260}, posright, 20, 20000, "[Hz]");
    bad->SetLogarithmic(true);
    try {
        bad->SetLoValue(0);
    } catch (const EAxisError&) {
        // The axis keeps the bad end and shows a linear scale meanwhile.
    }
    Caption(&w, 510, 5, "autosize,\nbtnface");
    auto* s = MakeAxis(&w, {510, 35, 50, 260}, posleft, 0, 10, "[s]");
    s->SetBackgroundColor(s->palette().color(QPalette::Button));
    s->SetAutosize(true);

    // Right part: horizontal axes.
    Caption(&w, 600, 5, "linear posunder 0..10 (L=269)");
    MakeAxis(&w, {600, 25, 269, 30}, posunder, 0, 10, "[s]");
    Caption(&w, 600, 65, "log posunder 20..20000");
    auto* fu = MakeAxis(&w, {600, 85, 360, 30}, posunder, 20, 20000, "[Hz]");
    fu->SetLogarithmic(true);
    fu->SetMarkerVisible(true);
    fu->SetMarkerValue(1000);
    Caption(&w, 600, 125, "music posover 100..1000");
    auto* mo = MakeAxis(&w, {600, 145, 360, 30}, posover, 100, 1000, "");
    mo->SetLogarithmic(true);
    mo->SetMusicScale(true);
    Caption(&w, 600, 185, "reversed posover + marker");
    auto* ro = MakeAxis(&w, {600, 205, 360, 30}, posover, 45, 105, "[m]");
    ro->SetReverse(true);
    ro->SetMarkerVisible(true);
    ro->SetMarkerValue(60);
    Caption(&w, 600, 245, "narrow log 20..20000 (thinning)");
    auto* nf = MakeAxis(&w, {600, 265, 200, 30}, posunder, 20, 20000, "[Hz]");
    nf->SetLogarithmic(true);
    Caption(&w, 600, 305, "log 100..300 (linear rules)");
    auto* lr = MakeAxis(&w, {600, 325, 300, 30}, posunder, 100, 300, "[Hz]");
    lr->SetLogarithmic(true);

    // A short vertical log axis and the limits dialog.
    Caption(&w, 10, 300, "short log");
    auto* sv = MakeAxis(&w, {10, 340, 60, 120}, posleft, 20, 20000, "[Hz]");
    sv->SetLogarithmic(true);
    Caption(&w, 110, 300, "music,\nLoValue=0");
    auto* mb = MakeAxis(&w, {110, 340, 60, 120}, posleft, 100, 1000, "");
    mb->SetLogarithmic(true);
    mb->SetMusicScale(true);
    try {
        mb->SetLoValue(0);
    } catch (const EAxisError&) {
        // Shown with linear ticks until the end is positive again.
    }

    auto* dlg = new TAxisLimitForm(&w);
    dlg->SetLow(-50);
    dlg->SetHigh(50);

    QImage img = w.grab().toImage();
    {
        QPainter p(&img);
        p.drawText(600, 395, "TAxisLimitForm:");
        const QImage d = dlg->grab().toImage();
        p.drawImage(600, 400, d);
        p.drawRect(600, 400, d.width() - 1, d.height() - 1);
    }
    QDir().mkpath(QFileInfo(out).absolutePath());
    if (!img.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    std::printf("%s\n", qPrintable(out));
    return 0;
}
