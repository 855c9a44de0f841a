#include "views/warning_dialog.h"

#include "platform/appexception.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Warning");
    setModal(true);
    Label1 = new QLabel(
        "Warning! Ravlon plays white noise with a lot of energy at high frequencies. This is "
        "potentially harmful for your loudspeakers. Please make sure not to play the noise "
        "too loud.",
        this);
    Label1->setWordWrap(true);
    // The text wraps at 261 pixels where the check box fits in that width,
    // wider where it needs more, and the dialog takes the height it then needs.
    Label1->setMinimumWidth(261);
    nowarncheck = new QCheckBox("Don't show this message again this session", this);
    nowarncheck->setChecked(false);
    Button1 = new QPushButton("OK", this);
    Button1->setMinimumSize(75, 25);
    Button1->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 12);
    layout->setSpacing(8);
    layout->addWidget(Label1);
    layout->addWidget(nowarncheck);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(Button1, &QPushButton::clicked, this,
            ravlon::Guarded(this, [this] { Button1Click(); }));
}

// OK and the window's close button end the dialog the same way: there is no
// cancel, the run starts either way.
void TForm5::Button1Click() {
    accept();
}
