// TAxisLimitForm (unit saxes): the axis limits dialog, in which the user types
// both ends of an axis. UI thread only.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The small modal dialog in which the user types both ends of an axis.
// Owned by its axis. Texts that are not numbers fall back to the values the
// dialog was loaded with.
class TAxisLimitForm : public QDialog {
    Q_OBJECT
public:
    explicit TAxisLimitForm(QWidget* parent = nullptr);

    void SetLow(double value);
    void SetHigh(double value);
    // Shows the dialog modally; true when the user pressed OK.
    bool Execute();
    double GetLow() const;
    double GetHigh() const;

    QLabel* HighLabel;
    QLineEdit* HighEdit;
    QLabel* LowLabel;
    QLineEdit* LowEdit;
    QPushButton* OkButton;
    QPushButton* CancelButton;

private:
    void OkButtonClick();

    double FInitialLow = 0;
    double FInitialHigh = 0;
    bool FResult = false;
};
