// TPositionsPanel: the window listing a session's positions, each with its
// recording, date, cycles, Tmid and a check box that takes it into the
// average or leaves it out, and the Tmid of the average below. A double
// click (or "Open recording") opens a position's recording in the main window.
// It shows what its TSessionController holds and repaints when it changes.
// UI thread only.
#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QPushButton;
class QTableWidget;
class TSessionController;

class TPositionsPanel : public QWidget {
    Q_OBJECT
public:
    // showAction: unchecked when the window closes (may be null).
    TPositionsPanel(TSessionController& sessions, QAction* showAction, QWidget* parent = nullptr);

    QLabel* Heading;
    QTableWidget* Table;
    QLabel* Summary;
    QPushButton* OpenButton;
    QPushButton* AddButton;
    QPushButton* ReportButton;

    enum Column { ColUse, ColLabel, ColRecording, ColDate, ColCycles, ColTmid, ColNote, Columns };

    // Fills the table from the controller.
    void Refresh();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TSessionController& sessions_;
    QAction* showAction_;
    bool filling_ = false;
};
