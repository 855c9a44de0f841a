// The questions of a session: the room when a session is made
// (TSessionInfoDialog) and the choices of a report (TReportDialog). Numbers
// are typed in the user's number format. UI thread only.
#pragma once

#include "core/session/session_manifest.h"
#include "session/session_controller.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class TSessionInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSessionInfoDialog(QWidget* parent = nullptr);

    QLineEdit* RoomEdit;
    QLineEdit* VolumeEdit;
    QLineEdit* TemperatureEdit;
    QLineEdit* HumidityEdit;
    QPlainTextEdit* NotesEdit;

    // What was entered; raises EConvertError naming the field when a number
    // does not convert or is out of range.
    ravlon::TSessionInfo Info() const;

    void accept() override;
};

class TReportDialog : public QDialog {
    Q_OBJECT
public:
    // labels: the positions in the report (the decay plots' choice).
    explicit TReportDialog(const std::vector<std::string>& labels, QWidget* parent = nullptr);

    QLineEdit* TitleEdit;
    QComboBox* DecayCombo;
    QCheckBox* PdfCheck;

    TReportChoice Choice() const;
};
