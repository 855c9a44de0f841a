#include "axes/axis_limit_dialog.h"

#include "core/base/numtext.h"
#include "platform/appexception.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <cmath>

using namespace ravlon;

TAxisLimitForm::TAxisLimitForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Axis limits");
    QFont f("MS Sans Serif");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setGeometry(893, 241, 182, 153);

    const auto place = [](QWidget* w, int left, int top, int width, int height) {
        // Keep the layout; a fallback font wider than the original one must not clip.
        w->setGeometry(left, top, std::max(width, w->sizeHint().width()), height);
    };
    HighLabel = new QLabel("High value", this);
    place(HighLabel, 8, 4, 51, 13);
    HighEdit = new QLineEdit("High", this);
    place(HighEdit, 4, 20, 157, 21);
    LowLabel = new QLabel("Low value", this);
    place(LowLabel, 8, 48, 49, 13);
    LowEdit = new QLineEdit("Low", this);
    place(LowEdit, 4, 64, 157, 21);
    OkButton = new QPushButton("&Ok", this);
    OkButton->setGeometry(4, 96, 75, 25);
    OkButton->setDefault(true);
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setGeometry(88, 96, 75, 25);
    HighLabel->setBuddy(HighEdit);
    LowLabel->setBuddy(LowEdit);

    setTabOrder(HighEdit, LowEdit);
    setTabOrder(LowEdit, OkButton);
    setTabOrder(OkButton, CancelButton);

    connect(OkButton, &QPushButton::clicked, this, Guarded(this, [this] { OkButtonClick(); }));
    // Escape and closing the window reject as well.
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TAxisLimitForm::SetLow(double value) {
    LowEdit->setText(QString::fromStdString(FloatToStr(value)));
    FInitialLow = value;
}

void TAxisLimitForm::SetHigh(double value) {
    HighEdit->setText(QString::fromStdString(FloatToStr(value)));
    FInitialHigh = value;
}

bool TAxisLimitForm::Execute() {
    FResult = false;
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    HighEdit->setFocus();
    HighEdit->selectAll();
    exec();
    return FResult;
}

namespace {
double EditValue(const QLineEdit* edit, double fallback) {
    double v = 0;
    if (TryStrToFloat(edit->text().toStdString(), v) && std::isfinite(v)) return v;
    return fallback;
}
} // namespace

double TAxisLimitForm::GetLow() const {
    return EditValue(LowEdit, FInitialLow);
}

double TAxisLimitForm::GetHigh() const {
    return EditValue(HighEdit, FInitialHigh);
}

void TAxisLimitForm::OkButtonClick() {
    FResult = true;
    accept();
}
