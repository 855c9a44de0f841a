#include "views/warning_dialog.h"

#include "platform/appexception.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Warning");
    setFixedSize(281, 156);
    setModal(true);
    Label1 = new QLabel(
        "Warning! Ravlon plays white noise with a lot of energy at high frequencies. This is "
        "potentially harmful for your loudspeakers. Please make sure not to play the noise "
        "too loud.",
        this);
    Label1->setWordWrap(true);
    Label1->setGeometry(10, 8, 261, 57);
    nowarncheck = new QCheckBox("Don't show this message again this session", this);
    nowarncheck->setGeometry(10, 76, 261, 20);
    nowarncheck->setChecked(false);
    Button1 = new QPushButton("OK", this);
    Button1->setGeometry(103, 110, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this,
            ravlon::Guarded(this, [this] { Button1Click(); }));
}

// OK and the window's close button end the dialog the same way: there is no
// cancel, the run starts either way.
void TForm5::Button1Click() {
    accept();
}
