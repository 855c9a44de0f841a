#include "axes/axis_limit_dialog.h"

#include "core/base/numtext.h"
#include "platform/appexception.h"

#include <QBoxLayout>
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

    HighLabel = new QLabel("High value", this);
    HighEdit = new QLineEdit("High", this);
    LowLabel = new QLabel("Low value", this);
    LowEdit = new QLineEdit("Low", this);
    OkButton = new QPushButton("&Ok", this);
    OkButton->setDefault(true);
    CancelButton = new QPushButton("&Cancel", this);
    HighLabel->setBuddy(HighEdit);
    LowLabel->setBuddy(LowEdit);
    // As wide as they have always been: room for a number of 15 digits.
    for (QLineEdit* edit : {HighEdit, LowEdit}) edit->setMinimumWidth(157);

    // Laid out, so that no text is cut whatever the font.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(3);
    layout->addWidget(HighLabel);
    layout->addWidget(HighEdit);
    layout->addSpacing(4);
    layout->addWidget(LowLabel);
    layout->addWidget(LowEdit);
    layout->addSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

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
