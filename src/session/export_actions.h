// TExportActions: "Export recording as WAV..." and "Export image..." in the
// main window's File menu.
//
// The WAV is the main window's recording (the last run or the opened
// recording) with its cycle as cue points (core/session/recording_wav.h), so
// other programs and ravlon-analyze can re-analyse it.
//
// Image export saves a plot with its axes as PNG or SVG (by the file's
// extension), at its size on screen or at a chosen size. Any window's plot
// can take part: AddView names it once, and the view whose window was
// activated last is offered first. A new view joins with one line where the
// application creates it:
//     exports.AddView("Bands", bandsView->Panel1);
//
// UI thread only; questions through ShowMessageBox, AskFileName and AskImage.
#pragma once

#include <QDialog>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QRadioButton;
class QSpinBox;
class TForm1;

// What "Export image..." asks before the file name.
struct TImageChoice {
    int View = 0;
    QSize Size; // invalid: the plot's size on screen
};

class TExportActions : public QObject {
    Q_OBJECT
public:
    // before: the File menu entry the actions go in front of (null: "Exit").
    explicit TExportActions(TForm1& main, QAction* before = nullptr);

    QAction* ExportWavAction;
    QAction* ExportImageAction;

    // A plot that can be exported; its window's activation makes it the active view.
    void AddView(const QString& name, QWidget* plot);
    const std::vector<QString>& ViewNames() const { return names_; }
    QWidget* View(int i) const { return views_.at(static_cast<size_t>(i)); }
    // The view whose window was activated last (the first view before any).
    int ActiveView() const { return active_; }

    // Writes view's plot to path: SVG for ".svg", else PNG. size: the plot's
    // size in the file (invalid: as on screen); the window is laid out at that
    // size for the picture and back afterwards. Raises ravlon::Exception with
    // the reason; an existing file stays whole when that happens.
    void ExportImage(int view, const std::string& path, QSize size = QSize());
    // Writes the main window's recording as WAV; false (with a message) when it could not.
    bool ExportWav(const std::string& path);

    // The image dialog; tests replace it. Empty result: cancelled.
    std::function<std::optional<TImageChoice>()> AskImage;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TForm1& main_;
    std::vector<QString> names_;
    std::vector<QWidget*> views_;
    int active_ = 0;
};

// The choice of view and size for "Export image...".
class TImageDialog : public QDialog {
    Q_OBJECT
public:
    TImageDialog(const std::vector<QString>& names, const std::vector<QSize>& sizes, int active,
                 QWidget* parent = nullptr);

    QComboBox* ViewCombo;
    QRadioButton* ScreenSize;
    QRadioButton* ChosenSize;
    QSpinBox* WidthSpin;
    QSpinBox* HeightSpin;

    TImageChoice Choice() const;

private:
    std::vector<QSize> sizes_;
};
