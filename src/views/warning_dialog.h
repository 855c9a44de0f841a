// TForm5: the loudspeaker warning shown before a measurement run starts.
// Created once at program start and kept until the program ends, so the state
// of its check box lasts for the whole session (and only for it).
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    QLabel* Label1;
    QCheckBox* nowarncheck;
    QPushButton* Button1;

    void Button1Click();
};
