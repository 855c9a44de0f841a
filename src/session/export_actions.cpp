// The WAV and image exports.
#include "session/export_actions.h"

#include "core/base/fileutil.h"
#include "core/session/recording_wav.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QVBoxLayout>

#include <filesystem>

using namespace ravlon;

namespace {

constexpr int kMaxImageSide = 10000;

// The plot laid out at size for as long as it lives, then as before.
class LaidOutAt {
public:
    LaidOutAt(QWidget* plot, QSize size) : plot_(plot), old_(plot->size()) {
        if (size.isValid() && size != old_) Apply(size);
    }
    ~LaidOutAt() {
        if (plot_->size() != old_) Apply(old_);
    }
    LaidOutAt(const LaidOutAt&) = delete;
    LaidOutAt& operator=(const LaidOutAt&) = delete;

private:
    // The plot's own layout (axes, paint box) follows its size; its
    // window's layout would put it back, so only the plot is resized.
    void Apply(QSize size) {
        plot_->resize(size);
        QCoreApplication::sendPostedEvents(plot_, QEvent::LayoutRequest);
        if (plot_->layout()) plot_->layout()->activate();
    }
    QWidget* plot_;
    QSize old_;
};

} // namespace

TExportActions::TExportActions(TForm1& main, QAction* before) : main_(main) {
    ExportWavAction = new QAction("Export recording as WAV...", &main_);
    ExportImageAction = new QAction("Export image...", &main_);
    QMenu* file = main_.file1;
    for (QAction* a : {ExportWavAction, ExportImageAction})
        file->insertAction(before ? before : main_.Exit1, a);
    connect(file, &QMenu::aboutToShow, this, Guarded(&main_, [this] {
                ExportWavAction->setEnabled(!main_.Running && main_.HasRecording());
            }));
    connect(ExportWavAction, &QAction::triggered, this, Guarded(&main_, [this] {
                const std::string name =
                    AskFileName(&main_, {FileDialogKind::Save, "Export recording as WAV",
                                         "WAV files (*.wav);;All files (*.*)", "wav"});
                if (!name.empty()) ExportWav(name);
            }));
    connect(ExportImageAction, &QAction::triggered, this, Guarded(&main_, [this] {
                const std::optional<TImageChoice> choice = AskImage();
                if (!choice) return;
                const std::string name =
                    AskFileName(&main_, {FileDialogKind::Save, "Export image",
                                         "PNG image (*.png);;SVG image (*.svg)", "png"});
                if (!name.empty()) ExportImage(choice->View, name, choice->Size);
            }));
    AskImage = [this]() -> std::optional<TImageChoice> {
        std::vector<QSize> sizes;
        for (QWidget* v : views_) sizes.push_back(v->size());
        TImageDialog dialog(names_, sizes, active_, &main_);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.Choice();
    };
}

void TExportActions::AddView(const QString& name, QWidget* plot) {
    names_.push_back(name);
    views_.push_back(plot);
    plot->window()->installEventFilter(this);
}

bool TExportActions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        for (size_t i = 0; i < views_.size(); ++i)
            if (views_[i]->window() == watched) active_ = static_cast<int>(i);
    return false;
}

void TExportActions::ExportImage(int view, const std::string& path, QSize size) {
    if (view < 0 || static_cast<size_t>(view) >= views_.size())
        throw Exception("There is no view to export.");
    if (size.isValid() && (size.width() > kMaxImageSide || size.height() > kMaxImageSide))
        throw Exception("An image can be at most " + std::to_string(kMaxImageSide) +
                        " pixels wide and high.");
    QWidget* plot = views_[static_cast<size_t>(view)];
    // A view never shown has not laid out its plot yet: shown for the picture.
    QWidget* window = plot->window();
    const bool hidden = !window->isVisible();
    if (hidden) window->show();
    struct HideAgain {
        QWidget* window;
        bool hide;
        ~HideAgain() {
            if (hide) window->hide();
        }
    } hideAgain{window, hidden};
    QByteArray data;
    {
        LaidOutAt laidOut(plot, size);
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        if (LowerCaseAnsi(std::filesystem::path(path).extension().string()) == ".svg") {
            QSvgGenerator svg;
            svg.setOutputDevice(&buffer);
            svg.setSize(plot->size());
            svg.setViewBox(QRect(QPoint(0, 0), plot->size()));
            svg.setTitle(names_[static_cast<size_t>(view)]);
            QPainter painter(&svg);
            plot->render(&painter);
        } else if (!plot->grab().save(&buffer, "PNG")) {
            throw Exception("The image could not be made.");
        }
    }
    std::string error;
    if (!WriteFileAtomically(path, std::string_view(data.constData(), size_t(data.size())), &error))
        throw Exception("The image could not be saved: " + error);
}

bool TExportActions::ExportWav(const std::string& path) {
    const char* const caption = "Export recording as WAV";
    if (main_.Running) {
        ShowMessageBox("Stop the measurement before exporting the recording.", caption,
                       MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!main_.HasRecording()) {
        ShowMessageBox("Nothing has been recorded yet: start a measurement with Run! first.",
                       caption, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    try {
        ExportRecordingWav(main_.TmpFileName, path);
    } catch (const ERecordingWavError& e) {
        ShowMessageBox(e.what(), caption, MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

TImageDialog::TImageDialog(const std::vector<QString>& names, const std::vector<QSize>& sizes,
                           int active, QWidget* parent)
    : QDialog(parent), sizes_(sizes) {
    setWindowTitle("Export image");
    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    ViewCombo = new QComboBox(this);
    for (const QString& n : names) ViewCombo->addItem(n);
    ViewCombo->setCurrentIndex(active);
    form->addRow("View", ViewCombo);
    ScreenSize = new QRadioButton(this);
    ChosenSize = new QRadioButton("Chosen size:", this);
    ScreenSize->setChecked(true);
    form->addRow("Size", ScreenSize);
    auto* chosen = new QHBoxLayout;
    WidthSpin = new QSpinBox(this);
    HeightSpin = new QSpinBox(this);
    for (QSpinBox* s : {WidthSpin, HeightSpin}) {
        s->setRange(100, kMaxImageSide);
        s->setSuffix(" px");
    }
    WidthSpin->setValue(1200);
    HeightSpin->setValue(800);
    chosen->addWidget(ChosenSize);
    chosen->addWidget(WidthSpin);
    chosen->addWidget(new QLabel("×", this));
    chosen->addWidget(HeightSpin);
    form->addRow("", chosen);
    column->addLayout(form);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(box);
    const auto showSize = [this](int i) {
        const QSize s = i >= 0 && size_t(i) < sizes_.size() ? sizes_[size_t(i)] : QSize();
        ScreenSize->setText(QString("As on screen (%1 × %2 px)").arg(s.width()).arg(s.height()));
    };
    connect(ViewCombo, &QComboBox::currentIndexChanged, this, showSize);
    showSize(active);
}

TImageChoice TImageDialog::Choice() const {
    TImageChoice c;
    c.View = ViewCombo->currentIndex();
    if (ChosenSize->isChecked()) c.Size = QSize(WidthSpin->value(), HeightSpin->value());
    return c;
}
